#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/cddrives.h"
#include "device/linux_sysfs_scan.h"
#include "device/platform.h"
#include "device/testing/module_reset.h"
#include "device/transport_linux.h"
#include "recording_dialogs.h"

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

TEST_F(LinuxPathTest, MissingPrivilegeIsExplainedEvenWithErrorPopUpsOff) {
  fake.AddBlock("sr0", "1:0:0:0");
  CDDrives drives;
  ASSERT_EQ(drives.Count(), 1);
  ASSERT_FALSE(CDDrive::ErrorPopUps());

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
