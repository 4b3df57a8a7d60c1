// A flasher run as a user runs it, against simulated drives: the commands of
// a flash reach the drive the user chose, and only when no one else holds it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/sample_drive.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kImageSize = 0x10000;
constexpr char kInquiry[] = "12 ";
constexpr char kFlashStart[] = "3B 05 01 00 00 00 00 00 00 80 00 00";
constexpr char kFlashAnswers[] = "press\nyes\nno\nclose\n";  // FLASH, confirm, no restart

struct RunResult {
  int exitCode = -1;
  std::string output;      // the console protocol
  std::string transcript;  // "srN CDB in|out LENGTH -> RESULT moved N" per command
};

bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// The lines of `text` that start with `prefix`, without it.
std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(prefix)) found.push_back(line.substr(prefix.size()));
  }
  return found;
}

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

class DriveChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(FLASH_EXECUTABLE, dir.path() / "flash");
    fs::permissions(dir.path() / "flash", fs::perms::owner_all, fs::perm_options::add);
    fs::copy_file(fs::path(FLASH_SAMPLES) / "flash.INI", dir.path() / "flash.INI");
    std::string image(kImageSize, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + 1);
    dir.Write("SM01.bin", image);
    const RunResult build = Run("flash", "", "click SM01.bin\npress\nclose\n", false);
    ASSERT_TRUE(HasLine(build.output, "status: Build SM01.EXE complete!")) << build.output;
  }

  // Runs `program` in the test directory with `input` on its standard input,
  // through the preload over `population` unless `simulated` is false.
  RunResult Run(const std::string& program, const std::string& population, const std::string& input,
                bool simulated = true) {
    const fs::path d = dir.path();
    dir.Write("input.txt", input);
    dir.Write("population.txt", population);
    fs::remove(d / "transcript.txt");
    std::string command = "cd '" + d.string() + "' && ";
    if (simulated) {
      command += "FLASH_SIM_PRELOAD='" + std::string(SIM_PRELOAD) + "' '" + SIM_RUNNER +
                 "' --transcript transcript.txt population.txt -- ";
    }
    command += "./" + program + " < input.txt > output.txt 2> errors.txt";
    const int status = std::system(command.c_str());
    RunResult run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.output = ReadFileBytes(d / "output.txt");
    run.transcript = ReadFileBytes(d / "transcript.txt");
    return run;
  }

  TempDir dir;
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
    const RunResult run = Run("SM01.EXE", c.population, c.input);
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
      Run("SM01.EXE", std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\nin-use\n",
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
