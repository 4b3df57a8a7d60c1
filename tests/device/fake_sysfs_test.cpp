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

TEST(FakeSysfs, ATreeLeftByAKilledRunIsClearedByTheNextOne) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);  // now a process that is gone
  TempDir temp;
  const auto abandoned = temp.path() / ("flash-sim-sysfs-" + std::to_string(child) + "-AbCdEf");
  const auto running = temp.path() / ("flash-sim-sysfs-" + std::to_string(::getppid()) + "-AbCdEf");
  const auto unrelated = temp.path() / "flash-sim-sysfs-notes";
  for (const auto& dir : {abandoned, running, unrelated}) std::filesystem::create_directories(dir);

  sim::SimMachine machine;
  std::string error;
  const std::string root = sim::CreateFakeSysfs(machine, temp.path().string(), error);
  ASSERT_FALSE(root.empty()) << error;
  EXPECT_FALSE(std::filesystem::exists(abandoned));
  EXPECT_TRUE(std::filesystem::exists(running));
  EXPECT_TRUE(std::filesystem::exists(unrelated));
  sim::RemoveFakeSysfs(root);
}

}  // namespace
