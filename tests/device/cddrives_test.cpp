#include "device/cddrives.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/testing/module_view.h"
#include "sim_fixture.h"

namespace {

using CDDrivesTest = SimFixture;

std::vector<std::uint8_t> InquiryWith(const std::string& text) {
  std::vector<std::uint8_t> data(36, 0);
  data[0] = 0x05;
  std::copy(text.begin(), text.end(), data.begin() + 8);
  return data;
}

struct IdentityCase {
  const char* name;
  sim::DriveConfig config;
  const char* description;
  const char* vendorProduct;
  const char* revision;
};

class IdentityTest : public SimFixture, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(IdentityTest, DescriptionAndTheTextsCutFromIt) {
  const IdentityCase& c = GetParam();
  machine.AddDrive(c.config);
  CDDrives drives;
  ASSERT_EQ(drives.Count(), 1);
  CDDrive* drive = drives.Current();
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(drive->Description(), c.description);
  EXPECT_EQ(drive->VendorProduct(), c.vendorProduct);
  EXPECT_EQ(drive->Revision(), c.revision);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, IdentityTest,
    ::testing::Values(IdentityCase{"NoLetter",
                                   {.host = 1},
                                   "1-0-0  : SIMUL   SIM DVD-ROM     1.00",
                                   "SIMUL   SIM DVD-ROM     ",
                                   "1.00"},
                      IdentityCase{"Letter",
                                   {.letter = 'E'},
                                   "0-0-0 E: SIMUL   SIM DVD-ROM     1.00",
                                   "SIMUL   SIM DVD-ROM     ",
                                   "1.00"},
                      IdentityCase{"WideHostNumber",
                                   {.host = 12, .target = 1},
                                   "12-1-0  : SIMUL   SIM DVD-ROM     1.00",
                                   "SIMUL   SIM DVD-ROM     ",
                                   "1.00"},
                      IdentityCase{"ZeroByteInsideText",
                                   {.rawInquiry = InquiryWith("ACME    DVD")},
                                   "0-0-0  : ACME    DVD",
                                   "             ACME    DVD",
                                   "    "},
                      IdentityCase{"ZeroByteInsideRevision",
                                   {.rawInquiry = InquiryWith("ACME    DVD-ROM 1612    1.")},
                                   "0-0-0  : ACME    DVD-ROM 1612    1.",
                                   "ACME    DVD-ROM 1612    ",
                                   "  1."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CDDrivesTest, DriveThatStopsAnsweringDescribesItselfAsZero) {
  sim::SimDrive& simDrive = machine.AddDrive();
  CDDrives drives;
  ASSERT_EQ(drives.Count(), 1);
  simDrive.StopAnswering();
  EXPECT_EQ(drives.Current()->Description(), "0");
  EXPECT_EQ(drives.Current()->VendorProduct(), std::string(24, ' '));
  EXPECT_EQ(drives.Current()->Revision(), "    ");
}

TEST_F(CDDrivesTest, DescriptionReadsTheIdentificationAgain) {
  sim::SimDrive& simDrive = machine.AddDrive({.revisionAfterFlash = "2.00"});
  CDDrives drives;
  CDDrive* drive = drives.Current();
  std::array<std::uint8_t, 16> buffer{};
  CDDrive::SetBuffer(buffer.data(), buffer.size());
  DriveCommand load;
  load.cdb = {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 16, 0x00};
  load.direction = kDirectionOut;
  load.length = 16;
  DriveCommand flashStart;
  flashStart.cdb = {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x80};
  flashStart.length = 16;
  ASSERT_TRUE(drive->ExecCommand(load));
  ASSERT_TRUE(drive->ExecCommand(flashStart));

  EXPECT_EQ(drive->Revision(), "1.00") << "no new INQUIRY yet";
  EXPECT_EQ(drive->Description(), "0-0-0  : SIMUL   SIM DVD-ROM     2.00");
  EXPECT_EQ(drive->Revision(), "2.00");
  EXPECT_EQ(CDDrive::GetBuffer(), buffer.data()) << "identification leaves the data buffer alone";
  EXPECT_EQ(simDrive.Transcript().back().Text(), "12 00 00 00 80 00 00 00 00 00 00 00 in 128");
}

TEST_F(CDDrivesTest, UnopenableDriveIsReportedAndTheNextOneTakesSlotZero) {
  machine.AddDrive({.letter = 'D', .openable = false});
  machine.AddDrive({.letter = 'E'});
  CDDrives drives;
  EXPECT_EQ(drives.Count(), 1);
  ASSERT_NE(drives.Current(), nullptr);
  EXPECT_EQ(drives.Current()->Letter(), 'E');
  EXPECT_EQ(drives.At(0), drives.Current());
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{
                                 "Error opening: 2, Drive: \\\\.\\D:",
                                 "SenseCode: 00 00 00, 00, Error: 2, No such file or directory",
                             }));
}

TEST_F(CDDrivesTest, SilentDriveIsLeftOutWithoutABox) {
  machine.AddDrive({.host = 0}).StopAnswering();
  machine.AddDrive({.host = 1});
  CDDrives drives;
  EXPECT_EQ(drives.Count(), 1);
  EXPECT_EQ(drives.Current()->HostAdapter(), 1);
  EXPECT_EQ(device_testing::OpenCount(), 1);
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(CDDrivesTest, KeepsTheFirst24DrivesAndDoesNotOpenTheRest) {
  for (std::uint8_t host = 0; host < 26; ++host) {
    machine.AddDrive({.host = host});
  }
  {
    CDDrives drives;
    EXPECT_EQ(drives.Count(), kMaxListedDrives);
    EXPECT_EQ(drives.At(23)->HostAdapter(), 23);
    EXPECT_EQ(drives.At(24), nullptr);
    EXPECT_EQ(device_testing::OpenCount(), kMaxListedDrives);
    EXPECT_TRUE(machine.Drive(24).Transcript().empty());
    EXPECT_TRUE(machine.Drive(25).Transcript().empty());
  }
  EXPECT_EQ(device_testing::OpenCount(), 0);
}

TEST_F(CDDrivesTest, SelectOutsideTheListChangesNothing) {
  machine.AddDrive({.host = 0});
  machine.AddDrive({.host = 1});
  CDDrives drives;
  ASSERT_TRUE(drives.Select(1));
  CDDrive* second = drives.Current();
  EXPECT_EQ(second->HostAdapter(), 1);

  for (std::int16_t index : {std::int16_t{-1}, std::int16_t{2}, std::int16_t{-32768}}) {
    EXPECT_FALSE(drives.Select(index)) << index;
    EXPECT_EQ(drives.Current(), second);
    EXPECT_EQ(drives.At(1), second);
  }
}

TEST_F(CDDrivesTest, EmptyMachineGivesAnEmptyListWithoutCurrent) {
  CDDrives drives;
  EXPECT_EQ(drives.Count(), 0);
  EXPECT_EQ(drives.Current(), nullptr);
  EXPECT_FALSE(drives.Select(0));
}

}  // namespace
