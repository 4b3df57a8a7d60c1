// What the program entry asks of Windows: its own path and the start directory.
#include "app/os_services.h"

#include <direct.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace {

class StartDirectory : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(_getcwd(saved_, sizeof saved_), nullptr); }
  void TearDown() override { EXPECT_EQ(_chdir(saved_), 0); }
  char saved_[1024] = {};
};

TEST_F(StartDirectory, IsTheCurrentDriveAndItsDirectory) {
  TempDir dir;
  const std::string path = std::filesystem::canonical(dir.path()).string();
  ASSERT_EQ(_chdir(path.c_str()), 0);
  const std::string start = CurrentDirectory();
  ASSERT_GE(start.size(), 3u);
  EXPECT_EQ(start[0], 'A' + _getdrive() - 1);
  EXPECT_EQ(start.substr(1, 2), ":\\");
  EXPECT_TRUE(std::filesystem::equivalent(start, path)) << start << " vs " << path;
}

TEST_F(StartDirectory, AtTheRootIsTheRootAlone) {
  ASSERT_EQ(_chdir("C:\\"), 0);
  EXPECT_EQ(CurrentDirectory(), "C:\\");
}

TEST(SelfExecutablePath, NamesTheRunningProgram) {
  const std::filesystem::path self = SelfExecutablePath();
  EXPECT_TRUE(self.is_absolute()) << self;
  EXPECT_EQ(self.filename(), "app_tests.exe");
  EXPECT_TRUE(std::filesystem::exists(self));
}

}  // namespace
