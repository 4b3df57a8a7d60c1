#include <gtest/gtest.h>

#include "catalogue/crc24.h"
#include "flasher_fixture.h"
#include "support/recording_host.h"

namespace {

struct Record {
  std::string vendor, model, range;
};

void Fill(EmbeddedBlock& b, const Record& r) {
  SetField(b, RecordField::Vendor, r.vendor);
  SetField(b, RecordField::Model, r.model);
  SetField(b, RecordField::FwRange10, r.range);
  b.image[0] = 0x55;  // anything but the key word: a flasher
  SetBinSize(b, 0x4000);
}

// The warning box text, with its lines joined again.
std::string Warning(const std::vector<std::string>& lines) {
  return BoxText(lines, "box warning yesno");
}

TEST(FlasherStart, WarningTextsAndLabel) {
  struct Case {
    const char* what;
    Record record;
    std::string label;
    std::string warning;
  };
  const Case cases[] = {
      {"restricted range, vendor upper-cased",
       {"acMe", "DVD-616", "AB10-AB1Z"},
       "Select the ACME drive you want to update:",
       "\nWARNING:\n\nThis flash utility only supports ACME DVD-616 drive with firmware:AB10-AB1Z"
       "\nPlease REMOVE disc and close all applications before run this utility! "
       "\nDon't turn off the system while the flash is in progress!\n\nDo you wish to continue?\n"},
      {"unrestricted range",
       {"Acme", "DVD-616", "---------"},
       "Select the ACME drive you want to update:",
       "\nWARNING:\n\nThis flash utility only supports ACME DVD-616 drive. "
       "\nPlease REMOVE disc and close all applications before run this utility!"
       "\nDon't turn off the system while flash is in progress! \n\nDo you wish to continue?\n"},
      {"the field's bytes 0 and 5 decide, even behind a NUL",
       {"Acme", "DVD-616", std::string("-\0\0\0\0-AAA", 9)},
       "Select the ACME drive you want to update:",
       "\nWARNING:\n\nThis flash utility only supports ACME DVD-616 drive. "
       "\nPlease REMOVE disc and close all applications before run this utility!"
       "\nDon't turn off the system while flash is in progress! \n\nDo you wish to continue?\n"},
      {"only the low bound dashed is restricted",
       {"Acme", "X", "----AB1Z"},
       "Select the ACME drive you want to update:",
       "\nWARNING:\n\nThis flash utility only supports ACME X drive with firmware: ----AB1Z"
       "\nPlease REMOVE disc and close all applications before run this utility! "
       "\nDon't turn off the system while the flash is in progress!\n\nDo you wish to continue?\n"},
      {"short range right-aligned, empty vendor",
       {"", "X", "A1Z"},
       "Select the  drive you want to update:",
       "\nWARNING:\n\nThis flash utility only supports  X drive with firmware:      A1Z"
       "\nPlease REMOVE disc and close all applications before run this utility! "
       "\nDon't turn off the system while the flash is in progress!\n\nDo you wish to continue?\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FormHarness h(false);
    Fill(*h.block, c.record);
    const auto lines = h.Run("no\n");
    EXPECT_EQ(h.form->SelectDriveLabel.Caption(), c.label);
    EXPECT_EQ(Warning(lines), c.warning);
  }
}

TEST(FlasherStart, DecliningTouchesNoDrive) {
  sim::SimMachine machine;
  sim::SimDrive& drive = machine.AddDrive();
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  Fill(*h.block, {"Acme", "DVD-616", "AB10-AB1Z"});
  const auto lines = h.Run("No\npress\n");
  EXPECT_TRUE(drive.Transcript().empty());
  EXPECT_EQ(lines.back(), "quit");
  EXPECT_EQ(lines[lines.size() - 2], "box end");  // nothing else was shown or read
}

TEST(FlasherStart, AcceptingSetsTheCaptionAndLooksForDrives) {
  sim::SimMachine machine;  // no drive at all
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  Fill(*h.block, {"acme", "DVD-616", "AB10-AB1Z"});
  const auto lines = h.Run("yes\n");
  EXPECT_EQ(h.form->Caption.Caption(), "ACME Flash Utility V1.051 DVD-616");
  EXPECT_FALSE(h.form->FileListBox1.Visible());
  EXPECT_EQ(BoxText(lines, "box error ok"),
            "\nERROR:\n\nCan't found DVD-616 firmware : AB10-AB1Z drive !\n"
            "\nThis flash utility only supports DVD-616 firmware: AB10-AB1Z\n"
            "\nCan't find ATAPI Drive !\n");
  EXPECT_EQ(lines.back(), "quit");
}

TEST(FlasherStart, ARecordClaimingNoImageOrMoreThanItHoldsIsRefused) {
  // Size 0 with a region that does not start with the key word: a damaged
  // or hand-made flasher, which would flash an unloaded DRAM.
  for (const std::uint32_t claimed : {std::uint32_t{0}, std::uint32_t{kImageCapacity + 1}}) {
    SCOPED_TRACE(claimed);
    sim::SimMachine machine;
    sim::SimDrive& drive = machine.AddDrive();
    sim::ScopedSimTransport path(machine);
    FormHarness h(false);
    Fill(*h.block, {"Acme", "DVD-616", "AB10-AB1Z"});
    SetBinSize(*h.block, claimed);
    const auto lines = h.Run("yes\npress\nyes\n");
    EXPECT_EQ(BoxText(lines, "box warning yesno"), "");  // not even the warning
    EXPECT_NE(BoxText(lines, "box error ok").find("claims " + std::to_string(claimed) + " bytes"),
              std::string::npos);
    EXPECT_TRUE(drive.Transcript().empty());
    EXPECT_EQ(lines.back(), "quit");
  }
}

// A flasher damaged after it was built (a bad copy, a failing disk) ends
// with one error box before the warning, and no drive hears of it: damage to
// what the drive receives, and to what chooses the drive. Flashers of
// builders that store no checksum start as before.
TEST(FlasherStart, ADamagedFlasherIsRefusedBeforeAnything) {
  constexpr std::uint32_t kImage = 0x7000;  // its last piece runs on to 0x8000
  const auto flip = [](char* field, std::size_t at, char bit) { field[at] ^= bit; };
  struct Case {
    const char* what;
    std::function<void(EmbeddedBlock&)> damage;
    bool refused;
  };
  const Case cases[] = {
      {"intact", [](EmbeddedBlock&) {}, false},
      {"no checksum stored", [](EmbeddedBlock& b) { std::memset(b.imageCrc, 0, kImageCrcSize); },
       false},
      {"one bit of the image's last byte", [](EmbeddedBlock& b) { b.image[kImage - 1] ^= 0x01; },
       true},
      {"the stored checksum itself", [](EmbeddedBlock& b) { b.imageCrc[2] ^= 0x80; }, true},
      {"behind the image, inside its last piece",
       [](EmbeddedBlock& b) { b.image[kImage + 0x800] ^= 0x01; }, true},
      {"a format signature's place past every piece",
       [](EmbeddedBlock& b) { b.image[0x14000] ^= 0x05; }, true},
      {"Inquiry10: DVD-616 read as DVD-617", [&](EmbeddedBlock& b) { flip(b.fields[1], 22, 0x01); },
       true},
      {"FW-Range10's high bound", [&](EmbeddedBlock& b) { flip(b.fields[2], 8, 0x02); }, true},
      {"BINName", [](EmbeddedBlock& b) { b.binName[3] ^= 0x04; }, true},
      {"BINSize", [](EmbeddedBlock& b) { b.binSize[1] ^= 0x40; }, true},
      {"Note, behind its NUL", [&](EmbeddedBlock& b) { flip(b.fields[8], 20, 0x10); }, true},
      {"a checksum of the image alone, as the first builders stored it",
       [](EmbeddedBlock& b) { StoreImageCrc(Crc24(b.image, kImage), b.imageCrc); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::SimMachine machine;
    sim::SimDrive& drive = machine.AddDrive(FamilyDrive());
    sim::ScopedSimTransport path(machine);
    FormHarness h(false);
    MakeFlasher(*h.block, kImage, ImageFormat::Plain);
    c.damage(*h.block);
    const auto lines = h.Run("no\n");
    if (c.refused) {
      EXPECT_EQ(BoxTexts(lines, "box error ok"),
                std::vector<std::string>{
                    "\nERROR:\n\nThis flasher is damaged: the checksum over its firmware image "
                    "and model record does not match.\nNo drive was touched. Please get the "
                    "flasher file again.\n"});
      EXPECT_EQ(BoxText(lines, "box warning yesno"), "");
      EXPECT_TRUE(drive.Transcript().empty());
    } else {
      EXPECT_NE(BoxText(lines, "box warning yesno"), "");
    }
    EXPECT_EQ(lines.back(), "quit");
  }
}

TEST(FlasherStart, ImageFormatBySignature) {
  struct Case {
    std::vector<std::size_t> signatures;
    ImageFormat format;
  };
  const Case cases[] = {
      {{}, ImageFormat::Plain},
      {{0x4000}, ImageFormat::ExtendedId},
      {{0x4008}, ImageFormat::ExtendedId},
      {{0x14000}, ImageFormat::ExtendedId},
      {{0x1100}, ImageFormat::CriticalEntry},
      {{0x4008, 0x1100}, ImageFormat::ExtendedId},  // the earlier test wins
      {{0x1101}, ImageFormat::Plain},
  };
  for (const Case& c : cases) {
    FormHarness h(false);
    SetBinSize(*h.block, 0x100);  // the signature lies past the image: still read
    for (std::size_t at : c.signatures) {
      h.block->image[at] = 0x05;
      h.block->image[at + 1] = 0x80;
    }
    RecordingHost host;
    TFlashForm form(host, nullptr, h.Environment());
    EXPECT_EQ(form.CheckNewFormatBIN(), c.format != ImageFormat::Plain);
    EXPECT_EQ(form.Format(), c.format);
    EXPECT_EQ(form.ImageLength(), 0x100u);
  }
}

TEST(FlasherStart, KeyWordInTheImageMeansBuilderMode) {
  FormHarness h(true);
  SetField(*h.block, RecordField::Vendor, "Acme");  // whatever the record holds
  h.Run("");
  EXPECT_TRUE(h.form->BuilderMode());
}

}  // namespace
