// A flasher run as a user runs it, against simulated drives: the commands of
// a flash reach the drive the user chose, and only when no one else holds it.
#include <gtest/gtest.h>

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

}  // namespace
