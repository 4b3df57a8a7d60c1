#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "device/cddrives.h"
#include "device/linux_sysfs_scan.h"
#include "device/platform.h"
#include "device/testing/module_reset.h"
#include "device/testing/module_view.h"
#include "device/transport_linux.h"
#include "support/recording_dialogs.h"

namespace fs = std::filesystem;

namespace {

// A sysfs and /dev look-alike in a temporary directory.
class FakeSystem {
 public:
  FakeSystem() {
    root_ = fs::temp_directory_path() /
            ("flash-device-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(SysRoot() / "class" / "block");
    fs::create_directories(DevRoot());
  }
  ~FakeSystem() { fs::remove_all(root_); }

  fs::path SysRoot() const { return root_ / "sys"; }
  fs::path DevRoot() const { return root_ / "dev"; }

  // A block device entry; an empty address gives it no scsi_device entry.
  void AddBlock(const std::string& name, const std::string& address, bool withNode = true) {
    const fs::path device = SysRoot() / "class" / "block" / name / "device";
    fs::create_directories(device);
    if (!address.empty()) {
      fs::create_directories(device / "scsi_device" / address);
    }
    if (withNode) {
      std::ofstream(DevRoot() / name).put('\0');
    }
  }

 private:
  static inline int counter_ = 0;
  fs::path root_;
};

TEST(ScsiAddressText, ParsesOnlyFourNumbers) {
  EXPECT_EQ(ParseScsiAddress("1:0:2:3"), (ScsiAddress{1, 0, 2, 3}));
  EXPECT_EQ(ParseScsiAddress("300:1:0:0"), (ScsiAddress{300, 1, 0, 0}));
  for (const char* bad : {"", "1:0:0", "1:0:0:0:0", "a:0:0:0", "1::0:0", "1:0:0:", "1:0:0:0x"}) {
    EXPECT_FALSE(ParseScsiAddress(bad)) << bad;
  }
}

TEST(SysfsScan, ListsOpticalDrivesInScsiAddressOrder) {
  FakeSystem fake;
  fake.AddBlock("sr1", "2:0:0:0");
  fake.AddBlock("sr0", "1:0:1:0");
  fake.AddBlock("sr10", "1:0:0:0");
  fake.AddBlock("sda", "0:0:0:0");
  fake.AddBlock("sr2", "");  // no SCSI address to reach it by
  fake.AddBlock("srx", "3:0:0:0");

  const std::vector<OpticalDriveNode> drives = ScanOpticalDrives(fake.SysRoot(), fake.DevRoot());
  std::vector<std::string> names;
  names.reserve(drives.size());
  for (const auto& d : drives) {
    names.push_back(d.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"sr10", "sr0", "sr1"}));
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives[0].devicePath, (fake.DevRoot() / "sr10").string());
  EXPECT_TRUE(ScanOpticalDrives(fake.SysRoot() / "missing", fake.DevRoot()).empty());
}

// Answers INQUIRY like a drive and lets a test choose other outcomes.
struct FakeKernel {
  int operator()(int fd, sg_io_hdr_t& header) {
    lastFd = fd;
    lastNode = fs::read_symlink("/proc/self/fd/" + std::to_string(fd)).filename().string();
    const int flags = ::fcntl(fd, F_GETFL);
    openedReadWrite = (flags & O_ACCMODE) == O_RDWR;
    openedNonBlocking = (flags & O_NONBLOCK) != 0;
    if (header.cmdp[0] != 0x12) {
      return nextError;
    }
    const char identity[] = "LINUXVNDLinux DVD-Writer9.99";
    auto* data = static_cast<std::uint8_t*>(header.dxferp);
    std::memset(data, 0, header.dxfer_len);
    std::copy_n(identity, 28, data + 8);
    return 0;
  }
  int nextError = 0;
  int lastFd = -1;
  std::string lastNode;  // the name of the node the last command went to
  bool openedReadWrite = false;
  bool openedNonBlocking = false;
};

class LinuxPathTest : public ::testing::Test {
 protected:
  LinuxPathTest() : path(fake.SysRoot(), fake.DevRoot(), std::ref(kernel)) {
    device_testing::ResetModule();
    InstallTransportPath(&path);
    CDDrive::SetDialogSink(&dialogs);
  }
  ~LinuxPathTest() override {
    InstallTransportPath(nullptr);
    device_testing::ResetModule();
  }

  FakeSystem fake;
  FakeKernel kernel;
  LinuxTransportPath path;
  RecordingDialogs dialogs;
};

TEST_F(LinuxPathTest, ScanOpensNodesAndReportsTheOneThatWillNotOpen) {
  fake.AddBlock("sr1", "0:0:0:0", /*withNode=*/false);
  fake.AddBlock("sr0", "1:0:0:0");
  fake.AddBlock("sr5", "256:0:0:0");  // beyond the 8-bit host adapter number

  CDDrives drives;
  ASSERT_EQ(drives.Count(), 1);
  EXPECT_EQ(drives.Current()->Description(), "1-0-0  : LINUXVNDLinux DVD-Writer9.99");
  EXPECT_TRUE(kernel.openedReadWrite);
  EXPECT_TRUE(kernel.openedNonBlocking);
  const std::string missing = (fake.DevRoot() / "sr1").string();
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{
                                 "Error opening: 2, Drive: " + missing,
                                 "SenseCode: 00 00 00, 00, Error: 2, No such file or directory",
                             }));
}

// A host with two buses, one drive on each at the same target: the two are
// told apart only by their channel, which the description line does not show.
TEST_F(LinuxPathTest, EachDriveGetsTheCommandsOfItsOwnNodeOnEveryChannel) {
  fake.AddBlock("sr0", "0:0:0:0");
  fake.AddBlock("sr1", "0:1:0:0");

  CDDrives drives;
  ASSERT_EQ(drives.Count(), 2);
  DriveCommand testUnitReady;
  for (const auto& [slot, node] : {std::pair{1, "sr1"}, std::pair{0, "sr0"}, std::pair{1, "sr1"}}) {
    EXPECT_TRUE(drives.At(slot)->ExecCommand(testUnitReady));
    EXPECT_EQ(kernel.lastNode, node) << "slot " << slot;
  }
  EXPECT_EQ(drives.At(1)->Description(), "0-0-0  : LINUXVNDLinux DVD-Writer9.99");
  EXPECT_EQ(drives.At(1)->DevicePath(), (fake.DevRoot() / "sr1").string());
  EXPECT_TRUE(dialogs.boxes.empty());

  // Host, target and LUN alone name neither of them: no guess is opened.
  const CDDrive guessed(' ', 0, 0, 0);
  EXPECT_FALSE(guessed.IsOpen());
  ASSERT_FALSE(dialogs.boxes.empty());
  EXPECT_EQ(dialogs.boxes[0].text, "Error opening: 19, Drive: 0:?:0:0");
}

// Whether this process has `path` open.
bool OpenHere(const fs::path& path) {
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (fs::read_symlink(entry.path(), error) == path) return true;
  }
  return false;
}

// udev's shared lock, given back while the hold waits, is then taken over by
// an exclusive one; the node's sg sibling is held with it, and both go with
// the hold.
TEST_F(LinuxPathTest, TheHoldLocksTheNodeAndTakesItsSgSiblingUntilReleased) {
  fake.AddBlock("sr0", "0:0:0:0");
  fs::create_directories(fake.SysRoot() / "class" / "block" / "sr0" / "device" / "scsi_generic" /
                         "sg4");
  std::ofstream(fake.DevRoot() / "sg4").put('\0');
  const fs::path node = fake.DevRoot() / "sr0";
  const fs::path sibling = fake.DevRoot() / "sg4";
  CDDrives drives;
  ASSERT_EQ(drives.Count(), 1);

  const int udev = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(udev, LOCK_SH), 0);
  std::thread probe([udev] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::flock(udev, LOCK_UN);
  });
  const auto start = std::chrono::steady_clock::now();
  {
    const ExclusiveUse hold(*drives.Current());
    probe.join();
    EXPECT_TRUE(hold.Held());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    EXPECT_EQ(::flock(udev, LOCK_SH | LOCK_NB), -1) << "the node stays locked";
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_TRUE(OpenHere(sibling));
  }
  EXPECT_EQ(::flock(udev, LOCK_SH | LOCK_NB), 0) << "the lock goes with the hold";
  EXPECT_FALSE(OpenHere(sibling));
  ::close(udev);
  EXPECT_TRUE(dialogs.boxes.empty());
}

// An unplugged drive's command fails and its node leaves sysfs: the user is
// told once, and nothing more is sent to the node.
TEST_F(LinuxPathTest, AnUnpluggedDriveIsToldOnceAndSentNothingMore) {
  fake.AddBlock("sr0", "0:0:0:0");
  CDDrives drives;
  ASSERT_EQ(drives.Count(), 1);
  CDDrive& drive = *drives.Current();
  const DriveCommand testUnitReady;
  kernel.nextError = ENODEV;
  fs::remove_all(fake.SysRoot() / "class" / "block" / "sr0");
  EXPECT_FALSE(drive.ExecCommand(testUnitReady));
  EXPECT_TRUE(drive.Gone());
  kernel.lastFd = -1;
  EXPECT_FALSE(drive.ExecCommand(testUnitReady));
  EXPECT_EQ(kernel.lastFd, -1) << "nothing was sent";
  EXPECT_EQ(dialogs.Texts(),
            (std::vector<std::string>{"The drive " + (fake.DevRoot() / "sr0").string() +
                                      " is no longer there: it was unplugged or "
                                      "switched off.\nConnect it again, then start "
                                      "the update again."}));
}

TEST_F(LinuxPathTest, AHeldDriveTakesItsCommandsThroughAnExclusiveOpenUntilReleased) {
  fake.AddBlock("sr0", "0:0:0:0");
  CDDrives drives;
  ASSERT_EQ(drives.Count(), 1);
  CDDrive& drive = *drives.Current();
  const DriveCommand testUnitReady;
  ASSERT_TRUE(drive.ExecCommand(testUnitReady));
  const int shared = kernel.lastFd;

  int exclusive = -1;
  {
    const ExclusiveUse hold(drive);
    ASSERT_TRUE(hold.Held());
    EXPECT_TRUE(drive.ExecCommand(testUnitReady));
    exclusive = kernel.lastFd;
    EXPECT_NE(exclusive, shared);
    EXPECT_EQ(kernel.lastNode, "sr0");
    EXPECT_TRUE(kernel.openedReadWrite);
    EXPECT_TRUE(kernel.openedNonBlocking);
  }
  EXPECT_EQ(::fcntl(exclusive, F_GETFD), -1) << "the exclusive open ends with the hold";
  EXPECT_TRUE(drive.ExecCommand(testUnitReady));
  EXPECT_EQ(kernel.lastFd, shared);
  EXPECT_TRUE(dialogs.boxes.empty());

  // A node gone by the time of the hold fails it like an open, and the drive
  // keeps its shared open.
  fs::remove(fake.DevRoot() / "sr0");
  kernel.lastFd = -1;
  EXPECT_FALSE(drive.HoldExclusive());
  EXPECT_EQ(kernel.lastFd, -1) << "nothing was sent";
  const std::string node = (fake.DevRoot() / "sr0").string();
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{
                                 "Error opening: 2, Drive: " + node,
                                 "SenseCode: 00 00 00, 00, Error: 2, No such file or directory",
                             }));
  EXPECT_TRUE(drive.ExecCommand(testUnitReady));
  EXPECT_EQ(kernel.lastFd, shared);
}

TEST_F(LinuxPathTest, MissingPrivilegeIsExplainedEvenWithErrorPopUpsOff) {
  fake.AddBlock("sr0", "1:0:0:0");
  CDDrives drives;
  ASSERT_EQ(drives.Count(), 1);
  ASSERT_FALSE(device_testing::ErrorPopUps());

  kernel.nextError = EPERM;
  DriveCommand writeBuffer;
  writeBuffer.cdb = {0x3B, 0x05, 0x01};
  EXPECT_FALSE(drives.Current()->ExecCommand(writeBuffer));
  EXPECT_EQ(drives.Current()->SenseText(), "00 00 00. 00, 0001");
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_NE(dialogs.boxes[0].text.find("CAP_SYS_RAWIO"), std::string::npos);
  EXPECT_NE(dialogs.boxes[0].text.find((fake.DevRoot() / "sr0").string()), std::string::npos);

  kernel.nextError = EIO;  // an ordinary failure stays a plain number while pop-ups are off
  EXPECT_FALSE(drives.Current()->ExecCommand(writeBuffer));
  EXPECT_EQ(dialogs.boxes.size(), 1u);
}

}  // namespace
