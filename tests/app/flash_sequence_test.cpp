#include <gtest/gtest.h>

#include "device/testing/module_view.h"
#include "flasher_fixture.h"

namespace {

constexpr std::uint32_t kPiece = 16384;
const char* const kFlashAnswers =
    "yes\npress\nyes\nno\nclose\n";  // warning, FLASH, confirm, restart

std::vector<std::string> ImageWrites(std::uint32_t size) {
  std::vector<std::string> out;
  for (std::uint32_t at = 0; at < size; at += kPiece)
    out.push_back(BufferCommand(0x3B, 0x05, at, kPiece, 0x00, "out", kPiece));
  return out;
}
std::vector<std::string> ImageReads(std::uint32_t size) {
  std::vector<std::string> out;
  for (std::uint32_t at = 0; at < size; at += kPiece)
    out.push_back(BufferCommand(0x3C, 0x01, at, kPiece, 0x00, "in", kPiece));
  return out;
}
template <typename... Parts>
std::vector<std::string> Concat(Parts... parts) {
  std::vector<std::string> all;
  (all.insert(all.end(), parts.begin(), parts.end()), ...);
  return all;
}

// "%02X %02X %02X. %02X, %04X"
bool IsSenseText(const std::string& text) {
  const std::string shape = "XX XX XX. XX, XXXX";
  if (text.size() != shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool hex =
        std::isdigit(static_cast<unsigned char>(text[i])) || (text[i] >= 'A' && text[i] <= 'F');
    if (shape[i] == 'X' ? !hex : text[i] != shape[i]) return false;
  }
  return true;
}

constexpr char kRestartWait[] = "Waiting for the drive to restart with its new firmware...";

struct FormatCase {
  const char* name;
  ImageFormat format;
  std::array<std::uint8_t, 4> chipId;
  std::vector<std::string> profileLoad;  // commands before the image
  std::vector<std::string> afterImage;   // between image writes and reads
  std::vector<std::string> statuses;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class FullFlash : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FullFlash, UpdatesTheDriveCommandByCommand) {
  const FormatCase& c = GetParam();
  constexpr std::uint32_t kImage = 256 * 1024;
  sim::SimMachine machine;
  sim::DriveConfig config = FamilyDrive();
  config.flashChipId = c.chipId;
  sim::SimDrive& drive = machine.AddDrive(config);
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, kImage, c.format);

  const auto lines = h.Run(kFlashAnswers);

  const std::vector<std::string> expected =
      Concat(std::vector<std::string>{kInquiry, kInquiry}, kReadinessWait, c.profileLoad,
             ImageWrites(kImage), c.afterImage, ImageReads(kImage),
             std::vector<std::string>{"3B 05 01 00 00 00 00 00 00 80 00 00 in 16",
                                      kReadinessWait[1], kInquiry});
  EXPECT_EQ(drive.TranscriptText(), expected);
  EXPECT_EQ(Grep(lines, "status: "), c.statuses);
  EXPECT_EQ(drive.CurrentRevision(), "AB15");
  EXPECT_EQ(drive.FlashStarts(), 1u);

  // Both transfer phases walk the 16 pieces up to the full bar, then the
  // flash start shows 198 of 200 and then 200.
  std::vector<std::string> phase = {"0/262144"};
  for (std::uint32_t at = kPiece; at <= kImage; at += kPiece)
    phase.push_back(std::to_string(at) + "/262144");
  EXPECT_EQ(
      Grep(lines, "progress: "),
      Concat(phase, phase, std::vector<std::string>{"200/200", "198/200", "200/200", "0/200"}));

  EXPECT_EQ(BoxText(lines, "box confirm yesno"), "\nUpdate Firmware AB12 to AB15 ?\n");
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "| The system needs to be restarted for the changes to take effect ?"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "combo insert 0: 0-0-0  : ACME    DVD-ROM DVD-616 AB15"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "combo delete 1"), lines.end());
  EXPECT_EQ(Grep(lines, "cursor: "), (std::vector<std::string>{"busy", "default"}));
  EXPECT_EQ(h.restarts, 0);
}

const std::vector<std::string> kPlainStatuses = {
    "Write BIN to drive's DRAM... ", "Read back and Verify drive's DRAM... ",
    "Don't turn off the system, Flash is in progress...", kRestartWait, "Flash Completed."};

INSTANTIATE_TEST_SUITE_P(
    Formats, FullFlash,
    ::testing::Values(
        FormatCase{"plain", ImageFormat::Plain, {0xDA, 0xC8, 0, 0}, {}, {}, kPlainStatuses},
        FormatCase{"critical_entry",
                   ImageFormat::CriticalEntry,
                   {0xDA, 0xC8, 0, 0},
                   {"DF 11 00 00 00 00 00 00 00 00 00 00 in 128",
                    "3B 05 01 08 00 00 00 01 3A 7F 00 00 out 314"},
                   {"3B 05 01 00 00 00 00 00 00 7F 00 00 in 0",
                    "3C 01 01 08 00 00 00 01 3A 00 00 00 in 314"},
                   {"Write profile to drive's DRAM... ", "Write BIN to drive's DRAM... ",
                    "Drive entry critical... ", "Read back and Verify drive's DRAM... ",
                    "Don't turn off the system, Flash is in progress...", kRestartWait,
                    "Flash Completed."}},
        FormatCase{"extended_id",
                   ImageFormat::ExtendedId,
                   {0xBF, 0xD6, 0x00, 0x02},
                   {"DF 11 00 00 00 00 00 00 00 00 00 00 in 128",
                    "3B 05 01 00 00 00 00 02 BC 7F 00 00 out 700"},
                   {},
                   {"Write profile to drive's DRAM... ", "Write BIN to drive's DRAM... ",
                    "Read back and Verify drive's DRAM... ",
                    "Don't turn off the system, Flash is in progress...", kRestartWait,
                    "Flash Completed."}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every command from the profile load on, failing in every way the drive can.
TEST(FlashFaults, EachFailureStopsTheRunWhereItHappens) {
  constexpr std::uint32_t kImage = 2 * kPiece;
  struct Step {
    std::string command;  // transcript text of the command that fails
    std::string box;      // prefix of the failure box
    std::string status;
  };
  const std::string write = "Write BIN to drive's DRAM... , Fail! ";
  const std::string read = "Read back and Verify drive's DRAM... ";
  const Step steps[] = {
      {"DF 11 00 00 00 00 00 00 00 00 00 00 in 128", "Read Flash ID> ",
       "Write profile to drive's DRAM... , Fail! "},
      {"3B 05 01 08 00 00 00 01 3A 7F 00 00 out 314", "Write Profile> ",
       "Write profile to drive's DRAM... , Fail! "},
      {BufferCommand(0x3B, 5, 0, kPiece, 0, "out", kPiece), "Write Buffer> ", write},
      {BufferCommand(0x3B, 5, kPiece, kPiece, 0, "out", kPiece), "Write Buffer> ", write},
      {"3B 05 01 00 00 00 00 00 00 7F 00 00 in 0", "Entry critical> ",
       "Drive entry critical... , Fail! "},
      {"3C 01 01 08 00 00 00 01 3A 00 00 00 in 314", "Read Profile> ",
       read + ", Valid Profile Fail!"},
      {BufferCommand(0x3C, 1, 0, kPiece, 0, "in", kPiece), "Read Buffer> ", read + ", Read Fail! "},
      {BufferCommand(0x3C, 1, kPiece, kPiece, 0, "in", kPiece), "Read Buffer> ",
       read + ", Read Fail! "},
      {"3B 05 01 00 00 00 00 00 00 80 00 00 in 16", "Write Buffer> ", "Flash Fail."},
  };
  const sim::FaultKind kinds[] = {sim::FaultKind::Sense, sim::FaultKind::CallFailed,
                                  sim::FaultKind::NeverCompletes, sim::FaultKind::StopsAnswering,
                                  sim::FaultKind::CorruptReadBack};
  for (const Step& step : steps) {
    for (sim::FaultKind kind : kinds) {
      const bool readBack = step.command.rfind("3C", 0) == 0;
      if (kind == sim::FaultKind::CorruptReadBack && !readBack) continue;
      SCOPED_TRACE(step.command + " / fault " + std::to_string(static_cast<int>(kind)));
      sim::SimMachine machine;
      sim::DriveConfig config = FamilyDrive();
      config.flashChipId = {0xDA, 0xC8, 0, 0};
      sim::SimDrive& drive = machine.AddDrive(config);
      sim::ScopedSimTransport path(machine);
      FormHarness h(false);
      MakeFlasher(*h.block, kImage, ImageFormat::CriticalEntry);

      // Find the command's number in a clean transcript of the same run.
      const std::vector<std::string> clean =
          Concat(std::vector<std::string>{kInquiry, kInquiry}, kReadinessWait,
                 std::vector<std::string>{"DF 11 00 00 00 00 00 00 00 00 00 00 in 128",
                                          "3B 05 01 08 00 00 00 01 3A 7F 00 00 out 314"},
                 ImageWrites(kImage),
                 std::vector<std::string>{"3B 05 01 00 00 00 00 00 00 7F 00 00 in 0",
                                          "3C 01 01 08 00 00 00 01 3A 00 00 00 in 314"},
                 ImageReads(kImage),
                 std::vector<std::string>{"3B 05 01 00 00 00 00 00 00 80 00 00 in 16"});
      const auto number = static_cast<std::uint32_t>(
                              std::find(clean.begin(), clean.end(), step.command) - clean.begin()) +
                          1;
      ASSERT_LE(number, clean.size());
      drive.InjectFault({.kind = kind,
                         .when = sim::FaultTrigger::OnCommand(number),
                         .sense = {0x04, 0x44, 0x00}});

      const auto lines = h.Run("yes\npress\nyes\nclose\n");
      const auto sent = drive.TranscriptText();
      EXPECT_EQ(sent, std::vector<std::string>(clean.begin(),
                                               clean.begin() + number));  // nothing after it
      EXPECT_EQ(drive.FlashStarts(), 0u);
      const auto statuses = Grep(lines, "status: ");
      ASSERT_FALSE(statuses.empty());

      std::string box = BoxText(lines, "box plain ok");
      if (kind == sim::FaultKind::CorruptReadBack) {
        const bool profile = step.box == "Read Profile> ";
        EXPECT_EQ(box, profile ? "Compared profile error!" : "Compare BIN and DRAM fail!");
        EXPECT_EQ(statuses.back(), profile ? read + ", Valid Profile Fail!"
                                           : read + ", Compare BIN and DRAM Fail! ");
      } else {
        EXPECT_EQ(box.substr(0, step.box.size()), step.box);
        EXPECT_TRUE(IsSenseText(box.substr(step.box.size()))) << box;
        if (kind == sim::FaultKind::Sense) {
          EXPECT_EQ(box, step.box + "04 44 00. 02, 0000");
        }
        EXPECT_EQ(statuses.back(), step.status);
      }
      EXPECT_EQ(Grep(lines, "cursor: ").back(), "default");
      EXPECT_EQ(Grep(lines, "progress: ").back().substr(0, 2), "0/");
    }
  }
}

TEST(FlashFaults, PressingAgainRepeatsTheWholeSequence) {
  sim::SimMachine machine;
  sim::SimDrive& drive = machine.AddDrive(FamilyDrive());
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, kPiece, ImageFormat::Plain);
  drive.InjectFault({.kind = sim::FaultKind::Sense,
                     .when = sim::FaultTrigger::OnOpcode(0x3B, 0x80).Nth(1),
                     .sense = {0x03, 0x0C, 0x00}});
  const auto lines = h.Run("yes\npress\nyes\nok\npress\nyes\nno\nclose\n");
  const auto sent = drive.TranscriptText();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), kReadinessWait[0]), 2);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), ImageWrites(kPiece)[0]), 2);
  EXPECT_EQ(Grep(lines, "status: ").back(), "Flash Completed.");
  EXPECT_EQ(drive.FlashStarts(), 1u);
  // The flash start runs with the long time-out; a completed run restores it.
  const auto& transcript = drive.Transcript();
  for (const auto& entry : transcript) {
    if (entry.cdb[0] == 0x3B && entry.cdb[9] == 0x80) {
      EXPECT_EQ(entry.timeOutSeconds, 180);
    }
  }
  EXPECT_EQ(device_testing::TimeOutSeconds(), kDefaultTimeOutSeconds);
}

TEST(FlashFaults, FailedFlashStartKeepsTheLongTimeOut) {
  sim::SimMachine machine;
  sim::SimDrive& drive = machine.AddDrive(FamilyDrive());
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, kPiece, ImageFormat::Plain);
  drive.InjectFault(
      {.kind = sim::FaultKind::CallFailed, .when = sim::FaultTrigger::OnOpcode(0x3B, 0x80)});
  h.Run("yes\npress\nyes\nok\nclose\n");
  EXPECT_EQ(device_testing::TimeOutSeconds(), 180);
  EXPECT_EQ(drive.FlashStarts(), 0u);
}

TEST(FlashSequence, ReadinessWaitGivesUpAfterFiveHundredPasses) {
  sim::SimMachine machine;
  sim::DriveConfig config = FamilyDrive();
  config.becomingReadyPolls = sim::kNeverReady;
  sim::SimDrive& drive = machine.AddDrive(config);
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, kPiece, ImageFormat::Plain);
  const auto lines = h.Run(kFlashAnswers);
  const auto sent = drive.TranscriptText();
  const auto flashStart =
      std::find(sent.begin(), sent.end(), "3B 05 01 00 00 00 00 00 00 80 00 00 in 16");
  ASSERT_NE(flashStart, sent.end());
  EXPECT_EQ(std::count(sent.begin(), flashStart, kReadinessWait[1]), 500);
  EXPECT_EQ(std::count(sent.begin(), flashStart, kReadinessWait[2]), 501);
  ASSERT_GE(h.sleeps.size(), 500u);
  EXPECT_EQ(std::vector<unsigned>(h.sleeps.begin(), h.sleeps.begin() + 500),
            std::vector<unsigned>(500, 30));
  EXPECT_EQ(std::vector<CursorShape>(h.cursorsWhileSleeping.begin(),
                                     h.cursorsWhileSleeping.begin() + 500),
            std::vector<CursorShape>(500, CursorShape::Default));
  EXPECT_EQ(drive.FlashStarts(), 1u);  // the wait only ends; the run goes on
  // A drive that never gets ready does not answer after its flash either:
  // polled every half second for the bound of a minute, then the user is told.
  EXPECT_EQ(std::vector<std::string>(flashStart + 1, sent.end() - 1),
            std::vector<std::string>(120, kReadinessWait[1]));
  EXPECT_EQ(std::vector<unsigned>(h.sleeps.begin() + 500, h.sleeps.end()),
            std::vector<unsigned>(120, 500));
  EXPECT_TRUE(std::find(lines.begin(), lines.end(),
                        "| The drive sim:0:0:0 has not answered for 60 seconds since its flash.") !=
              lines.end());
}

TEST(FlashSequence, ConfirmationTextAndIcon) {
  struct Case {
    const char* range;
    const char* drive;
    std::string box;  // kind line
    bool warningText;
  };
  const Case cases[] = {
      {"AB10-AB1Z", "AB15", "box confirm yesno", true},  // equal: warning text, confirmation icon
      {"AB10-AB1Z", "AB1Z", "box warning yesno", true},  // newer than carried
      {"AB10-AB1Z", "AB12", "box confirm yesno", false},
      {"---------", "AB1Z", "box warning yesno", false},  // unrestricted: never the text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.range) + " " + c.drive);
    sim::SimMachine machine;
    sim::SimDrive& drive = machine.AddDrive(FamilyDrive(c.drive));
    sim::ScopedSimTransport path(machine);
    FormHarness h(false);
    MakeFlasher(*h.block, kPiece, ImageFormat::Plain);
    SetField(*h.block, RecordField::FwRange10, c.range);
    SealImage(*h.block);
    const auto lines = h.Run("yes\npress\nno\nclose\n");
    const std::string update = std::string("\nUpdate Firmware ") + c.drive + " to AB15 ?\n";
    const std::string expected = c.warningText
                                     ? std::string("\nWARNING !!!\n\nYour drive Firmware ") +
                                           c.drive + " is aready the most updated !\n" + update
                                     : update;
    EXPECT_EQ(BoxTexts(lines, c.box).back(), expected);
    // No: nothing was sent and nothing changed.
    EXPECT_EQ(drive.TranscriptText(), (std::vector<std::string>{kInquiry, kInquiry}));
    EXPECT_TRUE(Grep(lines, "status: ").empty());
    EXPECT_TRUE(Grep(lines, "cursor: ").empty());
    EXPECT_TRUE(Grep(lines, "progress: ").empty());
  }
}

TEST(FlashSequence, FlashAllByTheFirstNineBytesOfTheNote) {
  const std::pair<const char*, std::uint8_t> cases[] = {
      {"FLASH-ALL", 0xA0}, {"FLASH-ALL please", 0xA0}, {"flash-all", 0x80}, {"", 0x80}};
  for (const auto& [note, control] : cases) {
    sim::SimMachine machine;
    sim::SimDrive& drive = machine.AddDrive(FamilyDrive());
    sim::ScopedSimTransport path(machine);
    FormHarness h(false);
    MakeFlasher(*h.block, kPiece, ImageFormat::Plain, note);
    h.Run(kFlashAnswers);
    EXPECT_EQ(drive.LastFlashControl(), control) << note;
  }
}

TEST(FlashSequence, RestartIsAskedForOnYes) {
  sim::SimMachine machine;
  machine.AddDrive(FamilyDrive());
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, kPiece, ImageFormat::Plain);
  h.Run("yes\npress\nyes\nyes\nclose\n");
  EXPECT_EQ(h.restarts, 1);
}

TEST(FlashSequence, ShortLastPieceComesFromTheImageRegion) {
  sim::SimMachine machine;
  sim::SimDrive& drive = machine.AddDrive(FamilyDrive());
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, kImageCapacity - 100,
              ImageFormat::Plain);  // the last piece ends at the region's end
  const auto lines = h.Run(kFlashAnswers);
  EXPECT_EQ(Grep(lines, "status: ").back(), "Flash Completed.");
  const auto dram = drive.Dram();
  EXPECT_TRUE(std::equal(dram.begin(), dram.begin() + kImageCapacity, h.block->image));
}

TEST(FlashSequence, RefreshWithNoLineSelectedReplacesTheSelectedDrivesLine) {
  sim::SimMachine machine;
  machine.AddDrive(FamilyDrive());
  sim::DriveConfig second = FamilyDrive();
  second.host = 1;
  machine.AddDrive(second);
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, kPiece, ImageFormat::Plain);
  const auto lines = h.Run("yes\nselect 1\ntype something\npress\nyes\nno\nclose\n");
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "combo insert 1: 1-0-0  : ACME    DVD-ROM DVD-616 AB15"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "combo delete 2"), lines.end());
}

}  // namespace
