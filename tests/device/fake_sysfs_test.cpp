// The preload's stand-in for /sys/class/block, read by the program's own scan.
#include "sim/preload/fake_sysfs.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "../support/temp_dir.h"
#include "device/linux_sysfs_scan.h"
#include "sim/population.h"

namespace {

TEST(FakeSysfs, TheProgramsScanFindsEachDriveAtItsAddressAndNothingElse) {
  sim::SimMachine machine;
  std::string error;
  ASSERT_TRUE(sim::ParsePopulation("drive 2:1:3:4\ndrive 0:0:0:0\ndrive 0:0:0:1\n", machine, error))
      << error;
  const std::string root =
      sim::CreateFakeSysfs(machine, std::filesystem::temp_directory_path().string(), error);
  ASSERT_FALSE(root.empty()) << error;

  const std::vector<OpticalDriveNode> nodes = ScanOpticalDrives(root + "/sys", "/dev");
  ASSERT_EQ(nodes.size(), 3u);
  // Ordered by address; node names follow the population file.
  EXPECT_EQ(nodes[0].name, "sr1");
  EXPECT_EQ(nodes[1].devicePath, "/dev/sr2");
  EXPECT_EQ(nodes[1].address, (ScsiAddress{0, 0, 0, 1}));
  EXPECT_EQ(nodes[2].name, "sr0");
  EXPECT_EQ(nodes[2].address, (ScsiAddress{2, 1, 3, 4}));

  sim::RemoveFakeSysfs(root);
  EXPECT_FALSE(std::filesystem::exists(root));
}

TEST(FakeSysfs, ATreeLeftByAKilledRunIsClearedByTheNextOneAndNothingElse) {
  namespace fs = std::filesystem;
  TempDir temp;
  sim::SimMachine machine;
  std::string error;
  // A run that ended without removing its tree, as a killed one does.
  const pid_t child = ::fork();
  if (child == 0) {
    ::_exit(sim::CreateFakeSysfs(machine, temp.path().string(), error).empty() ? 1 : 0);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ::waitpid(child, &status, 0);  // now a process that is gone
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::vector<fs::path> abandoned;
  for (const auto& entry : fs::directory_iterator(temp.path())) abandoned.push_back(entry.path());
  ASSERT_EQ(abandoned.size(), 1u);

  // A live run's tree, and what is named like a tree but was not made as one.
  const std::string running = sim::CreateFakeSysfs(machine, temp.path().string(), error);
  const std::string gone = std::to_string(child);
  const std::vector<fs::path> kept = {
      running, temp.path() / ("flash-sim-sysfs-" + gone + "-AbCdEf"),
      temp.path() / ("flash-sim-sysfs-" + gone + "-AbCdEfG"), temp.path() / (gone + "-AbCdEf"),
      temp.path() / "flash-sim-sysfs-notes"};
  for (const auto& dir : kept) fs::create_directories(dir);
  // A link to a tree is not the tree.
  fs::create_directory_symlink(running, temp.path() / ("flash-sim-sysfs-" + gone + "-LiNkEd"));

  const std::string root = sim::CreateFakeSysfs(machine, temp.path().string(), error);
  ASSERT_FALSE(root.empty()) << error;
  EXPECT_FALSE(fs::exists(abandoned[0]));
  for (const auto& dir : kept) EXPECT_TRUE(fs::exists(dir)) << dir;
  EXPECT_TRUE(fs::is_symlink(temp.path() / ("flash-sim-sysfs-" + gone + "-LiNkEd")));
  EXPECT_TRUE(fs::exists(fs::path(running) / "sys" / "class" / "block" / ".flash-sim"));
  sim::RemoveFakeSysfs(root);
  sim::RemoveFakeSysfs(running);
}

}  // namespace
