// A flasher run as a user runs it, against simulated drives: the commands of
// a flash reach the drive the user chose, and only when no one else holds it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim_process_fixture.h"

namespace {

using namespace sim_process;

constexpr char kInquiry[] = "12 ";
constexpr char kFlashAnswers[] = "press\nyes\nno\nclose\n";  // FLASH, confirm, no restart

// The transcript's commands other than identification, node by node.
std::vector<std::string> NodesSentMoreThanInquiry(const std::string& transcript) {
  std::vector<std::string> nodes;
  for (const std::string& line : Lines(transcript, "sr")) {
    const std::string node = "sr" + line.substr(0, line.find(' '));
    const std::string command = line.substr(line.find(' ') + 1);
    if (!command.starts_with(kInquiry) && (nodes.empty() || nodes.back() != node)) {
      nodes.push_back(node);
    }
  }
  return nodes;
}

class DriveChoice : public SimulatedDrives {
 protected:
  void SetUp() override {
    SimulatedDrives::SetUp();
    BuildFlasher("SM01.bin", MakeImage(ImageFormat::Plain));
  }
};

// Two drives on the two channels of host 0, both at target 0: the description
// lines cannot tell them apart by address, so only the node shows which got
// the flash. Node names follow the population file: sr0 is the first drive.
TEST_F(DriveChoice, TheFlashGoesToTheChosenDriveOnEitherChannel) {
  struct Case {
    const char* name;
    std::string population;
    std::string input;
    std::vector<std::string> offered;
    std::string flashed;
  };
  const std::string first = std::string("drive 0:0:0:0\n") + kFamilyDrive;
  const std::string second = std::string("drive 0:1:0:0\n") + kFamilyDrive;
  const std::vector<Case> cases = {
      {"both eligible, the second chosen",
       first + "revision AB12\n" + second + "revision AB11\n",
       std::string("yes\nselect 1\n") + kFlashAnswers,
       {"0: 0-0-0  : ACME    DVD-ROM DVD-616 AB12", "1: 0-0-0  : ACME    DVD-ROM DVD-616 AB11"},
       "sr1"},
      {"both eligible, the first kept",
       first + "revision AB12\n" + second + "revision AB11\n",
       std::string("yes\n") + kFlashAnswers,
       {"0: 0-0-0  : ACME    DVD-ROM DVD-616 AB12", "1: 0-0-0  : ACME    DVD-ROM DVD-616 AB11"},
       "sr0"},
      {"only the second eligible",
       first + "revision AB20\n" + second + "revision AB10\n",
       std::string("yes\n") + kFlashAnswers,
       {"0: 0-0-0  : ACME    DVD-ROM DVD-616 AB10"},
       "sr1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = Start("SM01.EXE", c.population, c.input);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Lines(run.output, "combo add "), c.offered) << run.output;
    EXPECT_TRUE(HasLine(run.output, "status: Flash Completed.")) << run.output;
    EXPECT_EQ(NodesSentMoreThanInquiry(run.transcript), std::vector<std::string>{c.flashed})
        << run.transcript;
    EXPECT_EQ(Lines(run.transcript, c.flashed + " " + kFlashStart).size(), 1u);
  }
}

TEST_F(DriveChoice, ADriveHeldElsewhereIsNamedAndSentNothing) {
  const RunResult run =
      Start("SM01.EXE", std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\nin-use\n",
            "yes\npress\nyes\n\npress\nyes\n\nclose\n");
  EXPECT_EQ(run.exitCode, 0);
  const std::string box =
      "box plain ok\n"
      "| The drive /dev/sr0 is in use: a disc in it is mounted, or another program holds it.\n"
      "| Nothing was sent to the drive. Unmount the disc (umount /dev/sr0) or close that "
      "program, then try again.\n"
      "box end\n";
  const std::size_t at = run.output.find(box);
  ASSERT_NE(at, std::string::npos) << run.output;
  EXPECT_NE(run.output.find(box, at + box.size()), std::string::npos)
      << "each FLASH asks again" << run.output;
  EXPECT_TRUE(Lines(run.output, "status: ").empty()) << run.output;
  EXPECT_TRUE(NodesSentMoreThanInquiry(run.transcript).empty()) << run.transcript;
}

// Every other way the drive could be reached or fail during the sequence is
// closed first, or the flash is refused before anything but the drive's
// identification is sent: udev's lock, the sg sibling, missing privileges and
// a connection too narrow for a piece.
TEST_F(DriveChoice, EachRefusalBeforeTheSequenceIsNamedAndSendsNothing) {
  const std::string inUseBox =
      "box plain ok\n"
      "| The drive /dev/sr0 is in use: a disc in it is mounted, or another program holds it.\n"
      "| Nothing was sent to the drive. Unmount the disc (umount /dev/sr0) or close that "
      "program, then try again.\n"
      "box end\n";
  struct Case {
    const char* name;
    const char* line;      // added to the drive
    const char* launcher;  // what the run goes through
    bool asked;            // whether the update question came before the refusal
    std::string box;
  };
  const std::vector<Case> cases = {
      {"udev keeps its lock", "in-use lock\n", "", true, inUseBox},
      {"the sg sibling is open elsewhere", "in-use sg\n", "", true, inUseBox},
      {"no CAP_SYS_RAWIO", "", "env FLASH_SIM_RAWIO=no", false,
       "box plain ok\n"
       "| Nothing was sent to the drive /dev/sr0.\n"
       "| Firmware commands need root rights (CAP_SYS_RAWIO) on Linux: run the utility as "
       "root.\n"
       "box end\n"},
      {"a 4 KiB connection", "max-sectors-kb 4\n", "", false,
       "box plain ok\n"
       "| The drive /dev/sr0 takes at most 4 KiB in one command over its connection, but the "
       "firmware is sent in pieces of 16 KiB.\n"
       "| Nothing was sent to the drive. Connect it another way (another USB adapter, or an "
       "internal SATA or IDE port), then try again.\n"
       "box end\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = Start(
        "SM01.EXE", std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\n" + c.line,
        c.asked ? "yes\npress\nyes\n\nclose\n" : "yes\npress\n\nclose\n", true, c.launcher);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output.find(c.box), std::string::npos) << run.output;
    EXPECT_EQ(HasLine(run.output, "| Update Firmware AB10 to SM01 ?"), c.asked) << run.output;
    EXPECT_TRUE(Lines(run.output, "status: ").empty()) << run.output;
    EXPECT_TRUE(NodesSentMoreThanInquiry(run.transcript).empty()) << run.transcript;
  }
}

// The drive is held until it answers again after programming its flash
// ("becoming ready" while it restarts), and only then identified anew and let
// go; a lock udev gives back within the wait does not stop the flash.
TEST_F(DriveChoice, TheDriveIsHeldUntilItAnswersAgainAfterItsFlash) {
  const RunResult run = Start("SM01.EXE",
                              std::string("drive 0:0:0:0\n") + kFamilyDrive +
                                  "revision AB10\nready-after-flash 3\nin-use lock 1500\n",
                              std::string("yes\n") + kFlashAnswers);
  EXPECT_EQ(run.exitCode, 0);
  const std::vector<std::string> status = Lines(run.output, "status: ");
  const auto waiting = std::find(status.begin(), status.end(),
                                 "Waiting for the drive to restart with its new firmware...");
  ASSERT_NE(waiting, status.end()) << run.output;
  ASSERT_NE(waiting + 1, status.end());
  EXPECT_EQ(*(waiting + 1), "Flash Completed.");
  EXPECT_TRUE(HasLine(run.output, "combo insert 0: 0-0-0  : ACME    DVD-ROM DVD-616 AB15"));

  const std::vector<std::string> sr0 = Lines(run.transcript, "sr0 ");
  const auto start = std::find_if(sr0.begin(), sr0.end(), [](const std::string& line) {
    return line.starts_with(kFlashStart);
  });
  ASSERT_NE(start, sr0.end()) << run.transcript;
  const std::vector<std::string> after(start + 1, sr0.end());
  ASSERT_EQ(after.size(), 5u) << run.transcript;
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_TRUE(after[k].starts_with("00 00 00 00 00 00 00 00 00 00 00 00 in 0 -> 02 04 01"))
        << after[k];
  }
  EXPECT_TRUE(after[3].starts_with("00 00 00 00 00 00 00 00 00 00 00 00 in 0 -> 00 00 00"))
      << after[3];
  EXPECT_TRUE(after[4].starts_with(kInquiry)) << "identified anew only once it answered";
}

}  // namespace
