// What a FLASH click does about the machine's power: the battery warning
// before anything is sent, the guard around the sequence, and a restart
// the system refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "flasher_fixture.h"

namespace {

constexpr std::uint32_t kPiece = 16384;
constexpr char kBatteryWarning[] =
    "\nWARNING:\n"
    "\nThis computer is running on battery power."
    "\nIf the power fails while the flash is in progress,"
    "\nthe drive can become unusable."
    "\nPlease connect the computer to mains power first."
    "\n\nDo you wish to continue on battery power?\n";

std::ptrdiff_t FirstIndexOf(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) - lines.begin();
}
std::ptrdiff_t LastIndexOf(const std::vector<std::string>& lines, const std::string& line) {
  return lines.rend() - std::find(lines.rbegin(), lines.rend(), line) - 1;
}

TEST(PowerSource, OnBatteryTheUserIsWarnedAfterTheConfirmationAndMayStop) {
  struct Case {
    const char* name;
    bool onBattery;
    const char* input;
    bool warned;
    bool flashed;
    int powerQueries;
  };
  const Case cases[] = {
      {"mains", false, "yes\npress\nyes\nno\nclose\n", false, true, 1},
      {"battery, continue", true, "yes\npress\nyes\nyes\nno\nclose\n", true, true, 1},
      {"battery, stop", true, "yes\npress\nyes\nno\nclose\n", true, false, 1},
      {"update declined", true, "yes\npress\nno\nclose\n", false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimMachine machine;
    sim::SimDrive& drive = machine.AddDrive(FamilyDrive());
    sim::ScopedSimTransport path(machine);
    FormHarness h(false);
    MakeFlasher(*h.block, kPiece, ImageFormat::Plain);
    h.onBattery = c.onBattery;
    std::vector<std::size_t> sentWhenGuarded;
    h.keepRunning = [&] {
      sentWhenGuarded.push_back(drive.TranscriptText().size());
      return PowerGuard();
    };

    const auto lines = h.Run(c.input);

    EXPECT_EQ(h.powerQueries, c.powerQueries);
    // The first warning is the flasher's own at start-up.
    const auto warnings = BoxTexts(lines, "box warning yesno");
    ASSERT_EQ(warnings.size(), c.warned ? 2u : 1u);
    if (c.warned) {
      EXPECT_EQ(warnings.back(), kBatteryWarning);
      EXPECT_LT(FirstIndexOf(lines, "box confirm yesno"), LastIndexOf(lines, "box warning yesno"));
    }
    EXPECT_EQ(drive.FlashStarts(), c.flashed ? 1u : 0u);
    if (c.flashed) {
      // Held from before the first command of the sequence: only the
      // identification went before it.
      EXPECT_EQ(sentWhenGuarded, std::vector<std::size_t>{2});
    } else {
      EXPECT_TRUE(sentWhenGuarded.empty());
      EXPECT_EQ(drive.TranscriptText(), (std::vector<std::string>{kInquiry, kInquiry}));
      EXPECT_TRUE(Grep(lines, "status: ").empty());
      EXPECT_TRUE(Grep(lines, "cursor: ").empty());
      EXPECT_TRUE(Grep(lines, "progress: ").empty());
    }
  }
}

TEST(Restart, ARefusedRestartTellsTheUserToRestart) {
  for (const bool accepted : {true, false}) {
    SCOPED_TRACE(accepted ? "accepted" : "refused");
    sim::SimMachine machine;
    machine.AddDrive(FamilyDrive());
    sim::ScopedSimTransport path(machine);
    FormHarness h(false);
    MakeFlasher(*h.block, kPiece, ImageFormat::Plain);
    h.restartAccepted = accepted;
    const auto lines = h.Run("yes\npress\nyes\nyes\nok\nclose\n");
    EXPECT_EQ(h.restarts, 1);
    EXPECT_EQ(BoxTexts(lines, "box warning ok"),
              accepted ? std::vector<std::string>{}
                       : std::vector<std::string>{
                             "\nThe system could not be restarted.\n"
                             "\nPlease restart it yourself for the changes to take effect.\n"});
    EXPECT_EQ(Grep(lines, "status: ").back(), "Flash Completed.");
  }
}

}  // namespace
