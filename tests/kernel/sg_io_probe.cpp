// Runs inside the test VM (run_vm.sh) against QEMU's emulated CD-ROMs: on the
// IDE channels one with no disc in it and one whose disc the VM's start
// mounted, and empty ones on a SATA port and behind USB mass storage. Prints one
// line per check and ends with the marker line the host looks for; any failed
// check, or no marker at all, fails the test.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/dialog.h"
#include "device/cddrive.h"
#include "device/cddrives.h"
#include "device/drive_command.h"

namespace {

// What QEMU 7.2's drives answer to INQUIRY: ide-cd (IDE and SATA), and
// scsi-cd behind USB.
constexpr const char* kVendorProduct = "QEMU    QEMU DVD-ROM    ";
constexpr const char* kScsiVendorProduct = "QEMU    QEMU CD-ROM     ";
constexpr std::size_t kDrivesInVm = 4;
constexpr const char* kRevision = "2.5+";
constexpr const char* kSysBlock = "/sys/class/block";
constexpr const char* kMediumType = "iso9660";
// Small enough for the module's internal buffer; the drive rejects the
// command before any data moves.
constexpr std::uint32_t kWriteBufferLength = 32;

int failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  if (!ok) ++failures;
}

void CheckText(const std::string& actual, const std::string& expected, const std::string& what) {
  Check(actual == expected, what + ": \"" + actual + "\"" +
                                (actual == expected ? "" : " expected \"" + expected + "\""));
}

// Printing every box keeps its reason (an open failure, missing privileges,
// a drive in use) in the console log.
class PrintingSink : public DialogSink {
 public:
  BoxAnswer ShowMessage(const std::string& text, BoxKind, BoxButtons) override {
    texts.push_back(text);
    std::printf("info box shown: %s\n", text.c_str());
    return BoxAnswer::Ok;
  }
  std::vector<std::string> texts;
};

// Device node -> mount point, from the kernel's own table.
std::map<std::string, std::string> Mounts() {
  std::map<std::string, std::string> mounts;
  std::ifstream table("/proc/mounts");
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string device, point;
    if (fields >> device >> point) mounts[device] = point;
  }
  return mounts;
}

// Whether the node can be opened exclusively right now; the open is closed again.
int ExclusiveOpenError(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

struct ScsiAddress {
  int host = -1, channel = -1, target = -1, lun = -1;
};

// The kernel's own view of the CD-ROMs: /sys/class/block/srN/device points at
// the SCSI device node named host:channel:target:lun.
std::vector<ScsiAddress> KernelCdRoms() {
  std::vector<ScsiAddress> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kSysBlock, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("sr", 0) != 0) continue;
    const std::string node =
        std::filesystem::canonical(entry.path() / "device", error).filename().string();
    ScsiAddress address;
    if (std::sscanf(node.c_str(), "%d:%d:%d:%d", &address.host, &address.channel, &address.target,
                    &address.lun) != 4) {
      std::printf("info %s: unreadable SCSI address \"%s\"\n", name.c_str(), node.c_str());
      continue;
    }
    std::printf("info %s is SCSI %s\n", name.c_str(), node.c_str());
    found.push_back(address);
  }
  return found;
}

const ScsiAddress* FindAddress(const std::vector<ScsiAddress>& addresses, const CDDrive& drive) {
  for (const ScsiAddress& address : addresses) {
    if (address.host == drive.HostAdapter() && address.target == drive.Target() &&
        address.lun == drive.Lun()) {
      return &address;
    }
  }
  return nullptr;
}

DriveCommand Command(std::vector<std::uint8_t> cdbStart, std::uint8_t direction = kDirectionIn,
                     std::uint32_t length = 0) {
  DriveCommand command;
  for (std::size_t i = 0; i < cdbStart.size(); ++i) command.cdb[i] = cdbStart[i];
  command.direction = direction;
  command.length = length;
  return command;
}

struct Step {
  const char* name;
  DriveCommand command;
  bool succeeds;
  const char* senseText;  // sense key, ASC, ASCQ, SCSI status, errno
  // What QEMU's scsi-cd answers instead, where it differs: it looks for a
  // disc before it looks at the operation code.
  const char* scsiSenseText = nullptr;
};

// The readiness commands of the flash sequence, then a vendor-style WRITE
// BUFFER that this drive rejects, then a good command again: SG_IO writes no
// sense data on success, so a stale rejection would show in the last step.
const std::vector<Step>& Steps() {
  static const std::vector<Step> steps = {
      {"START STOP UNIT (load)", Command({0x1B, 0x00, 0x00, 0x00, 0x03}), true,
       "00 00 00. 00, 0000"},
      {"TEST UNIT READY (no disc)", Command({0x00}), false, "02 3A 00. 02, 0000"},
      {"WRITE BUFFER (rejected)", Command({0x3B, 0x05, 0x01}, kDirectionOut, kWriteBufferLength),
       false, "05 20 00. 02, 0000", "02 3A 00. 02, 0000"},
      {"START STOP UNIT after the rejection", Command({0x1B, 0x00, 0x00, 0x00, 0x03}), true,
       "00 00 00. 00, 0000"},
  };
  return steps;
}

void CheckDrive(CDDrive& drive, const std::vector<ScsiAddress>& kernelView) {
  std::printf("info drive at %d-%d-%d\n", drive.HostAdapter(), drive.Target(), drive.Lun());
  const ScsiAddress* kernelAddress = FindAddress(kernelView, drive);
  Check(kernelAddress != nullptr, "the drive's address is one the kernel lists");
  if (kernelAddress == nullptr) return;

  const std::string vendorProduct = drive.VendorProduct();
  const bool knownDrive = vendorProduct == kVendorProduct || vendorProduct == kScsiVendorProduct;
  Check(knownDrive, "VendorProduct \"" + vendorProduct + "\" is one of QEMU's drives");
  CheckText(drive.Revision(), kRevision, "Revision");
  // Letterless paths put a space where a drive letter would stand.
  char expected[64];
  std::snprintf(expected, sizeof expected, "%d-%d-%d  : %s%s", kernelAddress->host,
                kernelAddress->target, kernelAddress->lun, vendorProduct.c_str(), kRevision);
  CheckText(drive.Description(), expected, "Description");

  for (const Step& step : Steps()) {
    const char* expected = vendorProduct == kScsiVendorProduct && step.scsiSenseText
                               ? step.scsiSenseText
                               : step.senseText;
    unsigned key = 0, asc = 0, ascq = 0;
    std::sscanf(expected, "%x %x %x", &key, &asc, &ascq);
    const bool ok = drive.ExecCommand(step.command);
    const std::string text = drive.SenseText();
    std::printf("info %s: ExecCommand %s, SenseText \"%s\"\n", step.name, ok ? "true" : "false",
                text.c_str());
    Check(ok == step.succeeds, std::string(step.name) + " ExecCommand");
    Check(drive.SenseIs(static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(asc),
                        static_cast<std::uint8_t>(ascq)),
          std::string(step.name) + " SenseIs");
    CheckText(text, expected, std::string(step.name) + " SenseText");
  }
}

// While the drive is held, the node is the program's alone; afterwards it is
// free again, and commands go on through the shared open.
void CheckHold(CDDrive& drive) {
  const std::string& node = drive.DevicePath();
  {
    const ExclusiveUse hold(drive);
    Check(hold.Held(), "a drive nobody holds is held exclusively");
    const int error = ExclusiveOpenError(node);
    Check(error == EBUSY, "while held, another exclusive open of " + node + " fails with EBUSY (" +
                              std::strerror(error) + ")");
    Check(drive.ExecCommand(Steps().back().command), "commands run while the drive is held");
  }
  Check(ExclusiveOpenError(node) == 0, "after the hold " + node + " opens exclusively again");
  Check(drive.ExecCommand(Steps().back().command), "commands run after the hold");
}

// The disc of this drive is mounted: the drive is listed and identified, but
// holding it fails with the box that names it, and once the disc is unmounted
// the hold keeps a mount away until it ends.
void CheckMountedDrive(CDDrive& drive, const std::string& mountPoint, PrintingSink& sink) {
  const std::string& node = drive.DevicePath();
  std::printf("info drive at %d-%d-%d is %s, mounted on %s\n", drive.HostAdapter(), drive.Target(),
              drive.Lun(), node.c_str(), mountPoint.c_str());
  CheckText(drive.VendorProduct(), kVendorProduct, "VendorProduct of the mounted drive");

  sink.texts.clear();
  Check(!drive.HoldExclusive(), "a drive whose disc is mounted is not held");
  const std::string inUse = "The drive " + node +
                            " is in use: a disc in it is mounted, or another program holds it.\n"
                            "Nothing was sent to the drive. Unmount the disc (umount " +
                            node + ") or close that program, then try again.";
  Check(sink.texts == std::vector<std::string>{inUse}, "one box names the drive as in use");
  sink.texts.clear();

  Check(::umount(mountPoint.c_str()) == 0, "the disc is unmounted");
  {
    const ExclusiveUse hold(drive);
    Check(hold.Held(), "with the disc unmounted the drive is held");
    const bool mounted =
        ::mount(node.c_str(), mountPoint.c_str(), kMediumType, MS_RDONLY, nullptr) == 0;
    const int error = errno;
    Check(!mounted && error == EBUSY,
          std::string("while held, mounting the disc fails with EBUSY (") +
              (mounted ? "it mounted" : std::strerror(error)) + ")");
    if (mounted) ::umount(mountPoint.c_str());
    CheckText(drive.VendorProduct(), kVendorProduct, "identification while held");
  }
  Check(::mount(node.c_str(), mountPoint.c_str(), kMediumType, MS_RDONLY, nullptr) == 0,
        "after the hold the disc mounts again");
  Check(sink.texts.empty(), "no box while the drive was free");
}

}  // namespace

int main() {
  PrintingSink sink;
  CDDrive::SetDialogSink(&sink);

  const std::vector<ScsiAddress> kernelView = KernelCdRoms();
  const std::map<std::string, std::string> mounts = Mounts();
  Check(kernelView.size() == kDrivesInVm, "the kernel found the IDE, SATA and USB CD-ROMs (" +
                                              std::to_string(kernelView.size()) + ")");
  {
    CDDrives drives;
    Check(drives.Count() == kernelView.size(),
          "the drive list holds every CD-ROM the kernel found (" + std::to_string(drives.Count()) +
              ")");
    Check(drives.Count() == 0 || drives.Current() == drives.At(0), "entry 0 is selected");
    int mountedDrives = 0;
    for (std::size_t slot = 0; slot < drives.Count(); ++slot) {
      CDDrive& drive = *drives.At(slot);
      const auto mounted = mounts.find(drive.DevicePath());
      if (mounted != mounts.end()) {
        ++mountedDrives;
        CheckMountedDrive(drive, mounted->second, sink);
        continue;
      }
      const std::size_t boxes = sink.texts.size();
      CheckDrive(drive, kernelView);
      CheckHold(drive);
      Check(sink.texts.size() == boxes, "no message box was shown for the empty drive");
    }
    Check(mountedDrives == 1, "one listed drive has its disc mounted");
  }
  CDDrive::SetDialogSink(nullptr);

  std::printf("KERNEL-TEST: %s\n", failures == 0 ? "PASS" : "FAIL");
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}
