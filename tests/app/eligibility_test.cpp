// Which drives a flasher offers, and what it reports when it offers none.
#include <gtest/gtest.h>

#include "flasher_fixture.h"

namespace {

sim::DriveConfig Drive(const std::string& vendor, const std::string& product,
                       const std::string& revision, std::uint8_t host) {
  sim::DriveConfig c;
  c.vendor = vendor;
  c.product = product;
  c.revision = revision;
  c.host = host;
  return c;
}

struct RecordRanges {
  std::string inquiry10 = kFamilyInquiry, range10 = "AB10-AB1Z";
  std::string inquiry20 = "-", range20 = "----";
  std::string inquiry30 = "-", range30 = "----";
};

// Runs the start-up with these drives and returns the offered combo lines.
std::vector<std::string> Offered(const RecordRanges& r, const std::vector<sim::DriveConfig>& drives,
                                 std::vector<std::string>* lines = nullptr) {
  sim::SimMachine machine;
  for (const auto& d : drives) machine.AddDrive(d);
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, 16384, ImageFormat::Plain);
  SetField(*h.block, RecordField::Inquiry10, r.inquiry10);
  SetField(*h.block, RecordField::FwRange10, r.range10);
  SetField(*h.block, RecordField::Inquiry20, r.inquiry20);
  SetField(*h.block, RecordField::FwRange20, r.range20);
  SetField(*h.block, RecordField::Inquiry30, r.inquiry30);
  SetField(*h.block, RecordField::FwRange30, r.range30);
  SealImage(*h.block);  // built with these ranges, not changed afterwards
  auto out = h.Run("yes\nok\n");
  if (lines) *lines = out;
  return h.form->ComboBox.Items();
}

TEST(Eligibility, IdentificationAndRevisionCases) {
  struct Case {
    const char* what;
    RecordRanges record;
    sim::DriveConfig drive;
    bool offered;
  };
  RecordRanges anyDrive;
  anyDrive.inquiry10 = "--";
  RecordRanges second;
  second.inquiry20 = "OTHER   DVD-ROM X-1     ";
  second.range30 = "XY00-XY99";
  RecordRanges unrestricted;
  unrestricted.range10 = "---------";
  const Case cases[] = {
      {"family drive in range", {}, Drive(kFamilyVendor, kFamilyProduct, "AB15", 0), true},
      {"low bound", {}, Drive(kFamilyVendor, kFamilyProduct, "AB10", 0), true},
      {"high bound", {}, Drive(kFamilyVendor, kFamilyProduct, "AB1Z", 0), true},
      {"letter after digit", {}, Drive(kFamilyVendor, kFamilyProduct, "AB1C", 0), true},
      {"above the range", {}, Drive(kFamilyVendor, kFamilyProduct, "AB20", 0), false},
      {"lower case sorts high", {}, Drive(kFamilyVendor, kFamilyProduct, "ab15", 0), false},
      {"other drive", {}, Drive("OTHER   ", kFamilyProduct, "AB15", 0), false},
      {"any drive marker skips every test", anyDrive,
       Drive("WHO     ", "KNOWS           ", "zzzz", 0), true},
      {"second identification, third range", second,
       Drive("OTHER   ", "DVD-ROM X-1     ", "XY50", 0), true},
      {"second identification, no range", second, Drive("OTHER   ", "DVD-ROM X-1     ", "QQ00", 0),
       false},
      {"VORA family from the third character",
       {},
       Drive("XXVORA  ", "DVD-ROM ANY     ", "AB15", 0),
       true},
      {"VORA family still needs its revision",
       {},
       Drive("XXVORA  ", "DVD-ROM ANY     ", "ZZ99", 0),
       false},
      {"unrestricted range", unrestricted, Drive(kFamilyVendor, kFamilyProduct, "ZZ99", 0), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Offered(c.record, {c.drive}).size(), c.offered ? 1u : 0u) << c.what;
  }
}

TEST(Eligibility, OnlyEligibleDrivesAreOfferedInScanOrder) {
  sim::SimMachine machine;
  machine.AddDrive(Drive("OTHER   ", "CD-ROM          ", "1.00", 0));
  sim::DriveConfig second = FamilyDrive();
  second.host = 1;
  machine.AddDrive(second);
  sim::DriveConfig third = FamilyDrive("AB13");
  third.host = 2;
  machine.AddDrive(third);
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, 16384, ImageFormat::Plain);
  std::vector<std::string> selected;
  h.inspect = [&](TFlashForm& form) {
    selected.push_back(form.SelectedDrive() ? form.SelectedDrive()->Description() : "none");
  };
  const auto lines = h.Run("yes\nselect 1\ntype typed\n");
  EXPECT_EQ(h.form->ComboBox.Items(),
            (std::vector<std::string>{"1-0-0  : ACME    DVD-ROM DVD-616 AB12",
                                      "2-0-0  : ACME    DVD-ROM DVD-616 AB13"}));
  // Selecting line 1 chose the third drive; typed text left it chosen.
  EXPECT_EQ(selected, std::vector<std::string>{"2-0-0  : ACME    DVD-ROM DVD-616 AB13"});
}

TEST(Eligibility, ReportListsEveryDriveWhenNoneIsEligible) {
  std::vector<std::string> lines;
  Offered({},
          {Drive("OTHER   ", "CD-ROM          ", "1.00", 0),
           Drive(kFamilyVendor, kFamilyProduct, "AB99", 1)},
          &lines);
  EXPECT_EQ(BoxText(lines, "box error ok"),
            "\nERROR:\n\nCan't found DVD-616 firmware : AB10-AB1Z drive !\n"
            "\nThis flash utility only supports DVD-616 firmware: AB10-AB1Z\n"
            "\nDetected drives:\n" +
                std::string(59, '-') + "\n" +
                "0-0-0  : OTHER   CD-ROM          1.00\n"
                "1-0-0  : ACME    DVD-ROM DVD-616 AB99\n");
  EXPECT_EQ(lines.back(), "quit");

  RecordRanges unrestricted;
  unrestricted.range10 = "---------";
  Offered(unrestricted, {}, &lines);
  EXPECT_EQ(BoxText(lines, "box error ok"),
            "\nERROR:\n\nCan't found DVD-616 drive !\n\nThis flash utility only supports DVD-616\n"
            "\nCan't find ATAPI Drive !\n");
}

TEST(Eligibility, TwentyOneEligibleDrivesOfferTwenty) {
  std::vector<sim::DriveConfig> drives;
  for (std::uint8_t i = 0; i < 21; ++i) {
    sim::DriveConfig d = FamilyDrive();
    d.host = i;
    drives.push_back(d);
  }
  const auto offered = Offered({}, drives);
  ASSERT_EQ(offered.size(), 20u);
  EXPECT_EQ(offered.back().substr(0, 7), "19-0-0 ");
}

}  // namespace
