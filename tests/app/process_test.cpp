// The shipped, optimised program as a user runs it: build a flasher from the
// sample description file, then start that flasher.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "catalogue/embedded_block.h"
#include "own_marker.h"
#include "support/program_run.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class ShippedProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    PlaceProgram(dir, FLASH_EXECUTABLE, FLASH_SAMPLES);
    fs::copy_file(fs::path(FLASH_SAMPLES) / "SM01.bin", dir.path() / "SM01.bin");
  }
  TempDir dir;
};

TEST_F(ShippedProgram, CarriesItsMarkerExactlyOnce) {
  const std::string exe = ReadFileBytes(FLASH_EXECUTABLE);
  const std::string marker(kOwnMarker, sizeof kOwnMarker);
  std::size_t count = 0;
  for (std::size_t at = exe.find(marker); at != std::string::npos; at = exe.find(marker, at + 1)) {
    ++count;
    EXPECT_EQ(exe.substr(at + kMarkerSize + kRecordBodySize, 4), std::string(kKeyWord, 4));
  }
  EXPECT_EQ(count, 1u);
}

TEST_F(ShippedProgram, BuildsAFlasherThatStartsInFlasherMode) {
  ProgramRun run = RunProgram(dir, "flash", "click SM01.bin\npress\nclose\n");
  ASSERT_EQ(run.exitCode, 0);
  const std::string& output = run.output;
  EXPECT_TRUE(HasLine(output, "status: Build SM01.EXE complete!")) << output;
  EXPECT_TRUE(HasLine(output, "quit")) << output;
  ASSERT_TRUE(fs::exists(dir.path() / "SM01.EXE"));
  EXPECT_EQ(fs::file_size(dir.path() / "SM01.EXE"), fs::file_size(FLASH_EXECUTABLE));
  EXPECT_NE(fs::status(dir.path() / "SM01.EXE").permissions() & fs::perms::owner_exec,
            fs::perms::none);

  run = RunProgram(dir, "SM01.EXE", "no\n");
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_TRUE(HasLine(output, "box warning yesno")) << output;
  EXPECT_TRUE(HasLine(
      output, "| This flash utility only supports ACME DVD-616 drive with firmware:AB10-AB1Z"))
      << output;
  EXPECT_TRUE(output.ends_with("\nbox end\nquit\n")) << output;
}

TEST_F(ShippedProgram, FlasherWithoutDrivesReportsAndQuits) {
  ASSERT_EQ(RunProgram(dir, "flash", "click SM01.bin\npress\nclose\n").exitCode, 0);
  const ProgramRun run = RunProgram(dir, "SM01.EXE", "yes\n\n");
  ASSERT_EQ(run.exitCode, 0);
  const std::string& output = run.output;
  // This machine has no optical drive; a machine that has one is not a test host.
  EXPECT_NE(output.find("| Can't find ATAPI Drive !\n| \nbox end\nquit\n"), std::string::npos)
      << output;
}

}  // namespace
