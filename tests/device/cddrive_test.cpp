#include "device/cddrive.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "device/testing/module_view.h"
#include "sim_fixture.h"

namespace {

constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kWriteBuffer = 0x3B;

using CDDriveTest = SimFixture;

TEST_F(CDDriveTest, FirstConstructionChoosesThePathAndLaterOnesKeepTheRegisteredBuffer) {
  machine.AddDrive({.host = 0});
  machine.AddDrive({.host = 1});
  std::array<std::uint8_t, 16384> transfer{};

  {
    CDDrive first(' ', 0, 0, 0);
    ASSERT_EQ(CDDrive::GetStatus(), kStatusOpened);
    EXPECT_EQ(CDDrive::GetBufferLength(), kInternalBufferLength);
    CDDrive::SetBuffer(transfer.data(), transfer.size());

    CDDrive second(' ', 1, 0, 0);
    ASSERT_EQ(CDDrive::GetStatus(), kStatusOpened);
    EXPECT_EQ(machine.ModuleSetups(), 1u);
    EXPECT_EQ(CDDrive::GetBuffer(), transfer.data());
    EXPECT_EQ(device_testing::OpenCount(), 2);
  }
  EXPECT_EQ(device_testing::OpenCount(), 0);

  // With no drive open the next construction sets the module up afresh.
  CDDrive again(' ', 0, 0, 0);
  EXPECT_EQ(machine.ModuleSetups(), 2u);
  EXPECT_NE(CDDrive::GetBuffer(), transfer.data());
  EXPECT_EQ(CDDrive::GetBufferLength(), kInternalBufferLength);
}

TEST_F(CDDriveTest, NullBufferRestoresTheInternalOneWhateverTheLength) {
  machine.AddDrive();
  CDDrive drive(' ', 0, 0, 0);
  std::uint8_t* internal = CDDrive::GetBuffer();
  std::array<std::uint8_t, 64> mine{};
  CDDrive::SetBuffer(mine.data(), mine.size());
  CDDrive::SetBuffer(nullptr, 99);
  EXPECT_EQ(CDDrive::GetBuffer(), internal);
  EXPECT_EQ(CDDrive::GetBufferLength(), kInternalBufferLength);
}

struct OutcomeCase {
  const char* name;
  sim::Fault fault;
  bool execResult;
  bool senseClear;  // SenseIs(0, 0, 0)
  const char* senseText;
};

class CDDriveOutcomeTest : public SimFixture, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(CDDriveOutcomeTest, RecordsTheResultAndJudgesItBySenseKeyByteAndCall) {
  sim::SimDrive& simDrive = machine.AddDrive();
  CDDrive drive(' ', 0, 0, 0);
  ASSERT_EQ(CDDrive::GetStatus(), kStatusOpened);
  sim::Fault fault = GetParam().fault;
  fault.when = sim::FaultTrigger::OnOpcode(kTestUnitReady);
  simDrive.InjectFault(fault);

  EXPECT_EQ(drive.ExecCommand(Command({kTestUnitReady})), GetParam().execResult);
  EXPECT_EQ(drive.SenseIs(0, 0, 0), GetParam().senseClear);
  EXPECT_EQ(drive.SenseText(), GetParam().senseText);
  EXPECT_TRUE(dialogs.boxes.empty()) << "error pop-ups are off until an open fails";
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CDDriveOutcomeTest,
    ::testing::Values(
        OutcomeCase{"Success", {.sense = {}}, true, true, "00 00 00. 00, 0000"},
        OutcomeCase{
            "IliFlagAloneFails", {.sense = {0x20, 0, 0}}, false, false, "20 00 00. 02, 0000"},
        OutcomeCase{"KeyZeroWithAscStillExecutes",
                    {.sense = {0x00, 0x5D, 0x00}},
                    true,
                    false,
                    "00 5D 00. 02, 0000"},
        OutcomeCase{"NotReady", {.sense = {0x02, 0x3A, 0x00}}, false, false, "02 3A 00. 02, 0000"},
        OutcomeCase{"CallFailedWithoutSense",
                    {.kind = sim::FaultKind::CallFailed},
                    false,
                    true,
                    "00 00 00. 00, 0005"},
        OutcomeCase{"NeverCompletes",
                    {.kind = sim::FaultKind::NeverCompletes},
                    false,
                    true,
                    "00 00 00. 00, 006E"},
        OutcomeCase{"DriveGone",
                    {.kind = sim::FaultKind::StopsAnswering},
                    false,
                    true,
                    "00 00 00. 00, 0013"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CDDriveTest, EveryCommandRunsWithTheModuleTimeOut) {
  sim::SimDrive& simDrive = machine.AddDrive();
  CDDrive drive(' ', 0, 0, 0);
  CDDrive::SetTimeOut(180);
  drive.ExecCommand(Command({kTestUnitReady}));
  CDDrive::SetTimeOut(0);
  simDrive.InjectFault({.kind = sim::FaultKind::NeverCompletes, .when = {}});
  EXPECT_FALSE(drive.ExecCommand(Command({kTestUnitReady})));
  EXPECT_TRUE(drive.SenseIs(0, 0, 0));

  const auto& transcript = simDrive.Transcript();
  ASSERT_EQ(transcript.size(), 3u);
  EXPECT_EQ(transcript[0].timeOutSeconds, kDefaultTimeOutSeconds);  // identification
  EXPECT_EQ(transcript[1].timeOutSeconds, 180);
  EXPECT_EQ(transcript[2].timeOutSeconds, 0);
}

TEST_F(CDDriveTest, FailedOpenReportsTwiceAndSwitchesErrorPopUpsOnForGood) {
  sim::SimDrive& good = machine.AddDrive({.target = 0});
  machine.AddDrive({.target = 1, .openable = false});
  CDDrive drive(' ', 0, 0, 0);
  good.InjectFault({.when = sim::FaultTrigger::OnOpcode(kTestUnitReady), .sense = {5, 0x20, 0}});

  EXPECT_FALSE(drive.ExecCommand(Command({kTestUnitReady})));
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_FALSE(device_testing::ErrorPopUps());

  {
    CDDrive unopenable(' ', 0, 1, 0);
    EXPECT_EQ(CDDrive::GetStatus(), kStatusNotOpened);
    EXPECT_FALSE(unopenable.IsOpen());
  }
  EXPECT_EQ(device_testing::OpenCount(), 1) << "a failed construction is not counted";
  EXPECT_TRUE(device_testing::ErrorPopUps());

  EXPECT_FALSE(drive.ExecCommand(Command({kTestUnitReady})));
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{
                                 "Error opening: 2, Drive: sim:0:1:0",
                                 "SenseCode: 00 00 00, 00, Error: 2, No such file or directory",
                                 "SenseCode: 05 20 00, 02, Error: 0, Success",
                             }));
  for (const RecordedBox& box : dialogs.boxes) {
    EXPECT_EQ(box.kind, BoxKind::Plain);
  }
}

TEST_F(CDDriveTest, FailedModuleSetupShowsItsErrorAndIsRetriedWhileNoDriveIsOpen) {
  machine.AddDrive();
  machine.FailModuleSetup(kStatusAspiNotLoaded, "Unable to load");
  CDDrive first(' ', 0, 0, 0);
  EXPECT_EQ(CDDrive::GetStatus(), kStatusAspiNotLoaded);
  CDDrive second(' ', 0, 0, 0);
  EXPECT_EQ(machine.ModuleSetups(), 2u);
  ASSERT_EQ(dialogs.boxes.size(), 2u);
  EXPECT_EQ(dialogs.boxes[1].kind, BoxKind::Error);
  EXPECT_EQ(device_testing::OpenCount(), 0);
  EXPECT_TRUE(machine.Drive(0).Transcript().empty());

  machine.FailModuleSetup(kStatusAspiNotReady);
  CDDrive silent(' ', 0, 0, 0);
  EXPECT_EQ(CDDrive::GetStatus(), kStatusAspiNotReady);
  EXPECT_EQ(dialogs.boxes.size(), 2u);
}

TEST_F(CDDriveTest, ADriveSomeoneElseHoldsIsNotTakenAndItsBoxNamesTheDevice) {
  sim::SimDrive& busy = machine.AddDrive({.inUse = true, .devicePath = "/dev/sr1"});
  sim::SimDrive& idle = machine.AddDrive({.target = 1});
  CDDrive busyDrive(' ', 0, 0, 0);
  CDDrive idleDrive(' ', 0, 1, 0);
  busy.ClearTranscript();

  for (int attempt = 0; attempt < 2; ++attempt) {
    const ExclusiveUse hold(busyDrive);
    EXPECT_FALSE(hold.Held());
  }
  EXPECT_FALSE(busyDrive.HeldExclusively());
  EXPECT_TRUE(busy.Transcript().empty());
  EXPECT_EQ(busyDrive.SenseText(), "00 00 00. 00, 0010");
  EXPECT_FALSE(device_testing::ErrorPopUps()) << "a drive in use is no failed open";
  const std::string inUse =
      "The drive /dev/sr1 is in use: a disc in it is mounted, or another program holds it.\n"
      "Nothing was sent to the drive. Unmount the disc (umount /dev/sr1) or close that program, "
      "then try again.";
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{inUse, inUse}));

  {
    const ExclusiveUse hold(idleDrive);
    EXPECT_TRUE(hold.Held());
    EXPECT_TRUE(idleDrive.HeldExclusively());
  }
  EXPECT_FALSE(idleDrive.HeldExclusively());
  EXPECT_EQ(dialogs.boxes.size(), 2u);
  EXPECT_EQ(idle.Transcript().size(), 1u) << "only the identification";
}

TEST_F(CDDriveTest, TransferLongerThanTheBufferIsRefusedBeforeItReachesTheDrive) {
  sim::SimDrive& simDrive = machine.AddDrive();
  CDDrive drive(' ', 0, 0, 0);
  simDrive.ClearTranscript();
  std::array<std::uint8_t, 16> small{};
  CDDrive::SetBuffer(small.data(), small.size());

  const DriveCommand write =
      Command({kWriteBuffer, 0x05, 0x01, 0, 0, 0, 0, 0, 17}, kDirectionOut, 17);
  EXPECT_FALSE(drive.ExecCommand(write));
  EXPECT_TRUE(simDrive.Transcript().empty());
  EXPECT_FALSE(drive.LastResult().callSucceeded);
  EXPECT_EQ(dialogs.Texts(),
            (std::vector<std::string>{"Command 3Bh was not sent: it moves 17 bytes, but the data "
                                      "buffer holds only 16 bytes."}));

  // The buffer's own length still goes through.
  EXPECT_TRUE(
      drive.ExecCommand(Command({kWriteBuffer, 0x05, 0x01, 0, 0, 0, 0, 0, 16}, kDirectionOut, 16)));
}

}  // namespace
