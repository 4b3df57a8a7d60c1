// Runs inside the test VM (run_vm.sh) against QEMU's emulated IDE CD-ROM with
// no disc in it. Prints one line per check and ends with the marker line the
// host looks for; any failed check, or no marker at all, fails the test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/dialog.h"
#include "device/cddrive.h"
#include "device/cddrives.h"
#include "device/drive_command.h"

namespace {

// What QEMU 7.2's ide-cd answers to INQUIRY.
constexpr const char* kVendorProduct = "QEMU    QEMU DVD-ROM    ";
constexpr const char* kRevision = "2.5+";
constexpr const char* kSysBlock = "/sys/class/block";
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

// Any box the transport raises is unexpected here; printing it keeps the
// reason (an open failure, missing privileges) in the console log.
class PrintingSink : public DialogSink {
 public:
  BoxAnswer ShowMessage(const std::string& text, BoxKind, BoxButtons) override {
    ++shown;
    std::printf("info box shown: %s\n", text.c_str());
    return BoxAnswer::Ok;
  }
  int shown = 0;
};

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
  std::uint8_t key, asc, ascq;
  const char* senseText;  // sense key, ASC, ASCQ, SCSI status, errno
};

// The readiness commands of the flash sequence, then a vendor-style WRITE
// BUFFER that this drive rejects, then a good command again: SG_IO writes no
// sense data on success, so a stale rejection would show in the last step.
const std::vector<Step>& Steps() {
  static const std::vector<Step> steps = {
      {"START STOP UNIT (load)", Command({0x1B, 0x00, 0x00, 0x00, 0x03}), true, 0, 0, 0,
       "00 00 00. 00, 0000"},
      {"TEST UNIT READY (no disc)", Command({0x00}), false, 2, 0x3A, 0, "02 3A 00. 02, 0000"},
      {"WRITE BUFFER (rejected)", Command({0x3B, 0x05, 0x01}, kDirectionOut, kWriteBufferLength),
       false, 5, 0x20, 0, "05 20 00. 02, 0000"},
      {"START STOP UNIT after the rejection", Command({0x1B, 0x00, 0x00, 0x00, 0x03}), true, 0, 0,
       0, "00 00 00. 00, 0000"},
  };
  return steps;
}

void CheckDrive(CDDrive& drive, const std::vector<ScsiAddress>& kernelView) {
  std::printf("info drive at %d-%d-%d\n", drive.HostAdapter(), drive.Target(), drive.Lun());
  const ScsiAddress* kernelAddress = FindAddress(kernelView, drive);
  Check(kernelAddress != nullptr, "the drive's address is one the kernel lists");
  if (kernelAddress == nullptr) return;

  CheckText(drive.VendorProduct(), kVendorProduct, "VendorProduct");
  CheckText(drive.Revision(), kRevision, "Revision");
  // Letterless paths put a space where a drive letter would stand.
  char expected[64];
  std::snprintf(expected, sizeof expected, "%d-%d-%d  : %s%s", kernelAddress->host,
                kernelAddress->target, kernelAddress->lun, kVendorProduct, kRevision);
  CheckText(drive.Description(), expected, "Description");

  for (const Step& step : Steps()) {
    const bool ok = drive.ExecCommand(step.command);
    const std::string text = drive.SenseText();
    std::printf("info %s: ExecCommand %s, SenseText \"%s\"\n", step.name, ok ? "true" : "false",
                text.c_str());
    Check(ok == step.succeeds, std::string(step.name) + " ExecCommand");
    Check(drive.SenseIs(step.key, step.asc, step.ascq), std::string(step.name) + " SenseIs");
    CheckText(text, step.senseText, std::string(step.name) + " SenseText");
  }
}

}  // namespace

int main() {
  PrintingSink sink;
  CDDrive::SetDialogSink(&sink);

  const std::vector<ScsiAddress> kernelView = KernelCdRoms();
  Check(!kernelView.empty(), "the kernel found a CD-ROM");
  {
    CDDrives drives;
    Check(drives.Count() == kernelView.size(),
          "the drive list holds every CD-ROM the kernel found (" + std::to_string(drives.Count()) +
              ")");
    Check(drives.Count() == 0 || drives.Current() == drives.At(0), "entry 0 is selected");
    for (std::size_t slot = 0; slot < drives.Count(); ++slot)
      CheckDrive(*drives.At(slot), kernelView);
  }
  Check(sink.shown == 0, "no message box was shown");
  CDDrive::SetDialogSink(nullptr);

  std::printf("KERNEL-TEST: %s\n", failures == 0 ? "PASS" : "FAIL");
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}
