// The NT family's path: drive letters of type DRIVE_CDROM, each opened with
// CreateFileA, one IOCTL_SCSI_PASS_THROUGH_DIRECT per command.
#include <windows.h>

#include <string>
#include <vector>

#include "device/nt_pass_through.h"
#include "device/os_paths.h"
#include "device/win32_error_text.h"

namespace {

constexpr DWORD kDesiredAccess = GENERIC_READ | GENERIC_WRITE;
static_assert(kDesiredAccess == 0xC0000000);
constexpr DWORD kShareMode = FILE_SHARE_READ;

// Roots come as "X:\" and a zero, 4 characters each.
constexpr DWORD kRootBufferLength = 80;
constexpr std::size_t kRootStride = 4;

std::string DevicePath(char letter) { return std::string("\\\\.\\") + letter + ':'; }

class NtDeviceHandle : public DeviceHandle {
 public:
  NtDeviceHandle(HANDLE device, const DriveAddress& address) : device_(device), address_(address) {}
  ~NtDeviceHandle() override { CloseHandle(device_); }
  NtDeviceHandle(const NtDeviceHandle&) = delete;
  NtDeviceHandle& operator=(const NtDeviceHandle&) = delete;

  void Execute(const DriveCommand& command, std::uint8_t* data, std::uint16_t timeOutSeconds,
               CommandResult& result) override {
    PreparePassThrough(record_, address_, command, data, timeOutSeconds);
    DWORD bytesReturned = 0;
    const BOOL succeeded =
        DeviceIoControl(device_, kIoctlScsiPassThroughDirect, &record_, kPassThroughRecordSize,
                        &record_, kPassThroughRecordSize, &bytesReturned, nullptr);
    const DWORD lastError = succeeded != 0 ? 0 : GetLastError();
    RecordPassThroughResult(record_, succeeded != 0, lastError, command.length, result);
  }

 private:
  HANDLE device_;
  DriveAddress address_;
  PassThroughRecord record_{};
};

class NtTransportPath : public TransportPath {
 public:
  PathSetup Setup() override { return {}; }

  std::vector<DriveAddress> Candidates() override {
    std::vector<char> roots(kRootBufferLength, '\0');
    DWORD length = GetLogicalDriveStringsA(kRootBufferLength, roots.data());
    if (length > kRootBufferLength) {
      // More letters than the usual buffer holds: the system filled nothing,
      // so ask again with the room it asked for rather than find no drive.
      roots.assign(length + 1, '\0');
      length = GetLogicalDriveStringsA(static_cast<DWORD>(roots.size()), roots.data());
      if (length >= roots.size()) {
        return {};
      }
    }
    std::vector<DriveAddress> candidates;
    for (std::size_t position = 0; position < roots.size() && roots[position] != '\0';
         position += kRootStride) {
      if (GetDriveTypeA(&roots[position]) == DRIVE_CDROM) {
        candidates.push_back({roots[position], 0, 0, 0});
      }
    }
    return candidates;
  }

  PathOpen Open(const DriveAddress& address) override {
    const std::string path = DevicePath(address.letter);
    HANDLE device =
        CreateFileA(path.c_str(), kDesiredAccess, kShareMode, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
      return {.errorCode = GetLastError(), .devicePath = path};
    }
    return {.handle = std::make_unique<NtDeviceHandle>(device, address), .devicePath = path};
  }

  std::optional<std::string> SystemErrorText(std::uint32_t errorCode) override {
    return Win32SystemErrorText(errorCode);
  }
};

}  // namespace

TransportPath& NtPassThroughPath() {
  static NtTransportPath path;
  return path;
}
