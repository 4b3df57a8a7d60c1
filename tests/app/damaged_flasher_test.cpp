// A flasher damaged after it was built, as a user meets it: the shipped
// program builds a flasher, one byte of the copy's image is flipped (a bad
// copy, a failing stick), and the copy, run against a simulated drive that it
// would otherwise flash, refuses to start and sends the drive nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "support/sample_drive.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr char kMarker[] = "<FLASH-RECORD>";    // 14 characters; the NUL follows in the file
constexpr std::size_t kImageOffset = 15 + 237;  // from the marker to the image region

bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

class DamagedFlasher : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(FLASH_EXECUTABLE, dir.path() / "flash");
    fs::permissions(dir.path() / "flash", fs::perms::owner_all, fs::perm_options::add);
    fs::copy_file(fs::path(FLASH_SAMPLES) / "flash.INI", dir.path() / "flash.INI");
    fs::copy_file(fs::path(FLASH_SAMPLES) / "SM01.bin", dir.path() / "SM01.bin");
    dir.Write("population.txt",
              std::string("drive 0:0:0:0\n") + kFamilyDrive + "  revision AB10\n");
  }

  // Runs `program` in the test directory, through the simulated drives when
  // `simulated`; returns its console output.
  std::string Run(const std::string& program, const std::string& input, bool simulated) {
    dir.Write("input.txt", input);
    std::string command = "cd '" + dir.path().string() + "' && ";
    if (simulated) {
      command += "FLASH_SIM_PRELOAD='" + std::string(SIM_PRELOAD) + "' '" + SIM_RUNNER +
                 "' --transcript transcript.txt population.txt -- ";
    }
    command += "./" + program + " < input.txt > output.txt 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    return ReadFileBytes(dir.path() / "output.txt");
  }

  TempDir dir;
};

TEST_F(DamagedFlasher, ABitFlippedInTheImageStopsItBeforeAnyDriveHearsOfIt) {
  const std::string built = Run("flash", "click SM01.bin\npress\nclose\n", false);
  ASSERT_TRUE(HasLine(built, "status: Build SM01.EXE complete!")) << built;

  std::string flasher = ReadFileBytes(dir.path() / "SM01.EXE");
  const std::size_t marker = flasher.find(std::string(kMarker, sizeof kMarker));
  ASSERT_NE(marker, std::string::npos);
  flasher[marker + kImageOffset + 0x1234] ^= 0x10;
  dir.Write("SM01.EXE", flasher);

  const std::string output = Run("SM01.EXE", "yes\npress\nyes\nno\nclose\n", true);
  EXPECT_TRUE(HasLine(output, "box error ok")) << output;
  EXPECT_TRUE(HasLine(output,
                      "| The firmware image this flasher carries is damaged: its checksum does "
                      "not match."))
      << output;
  EXPECT_FALSE(HasLine(output, "box warning yesno")) << output;
  EXPECT_TRUE(output.ends_with("box end\nquit\n")) << output;
  EXPECT_EQ(ReadFileBytes(dir.path() / "transcript.txt"), "") << "the drive received commands";
}

}  // namespace
