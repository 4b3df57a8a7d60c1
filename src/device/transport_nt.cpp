// The NT family's path: drive letters of type DRIVE_CDROM, each opened with
// CreateFileA, one IOCTL_SCSI_PASS_THROUGH_DIRECT per command. For the flash
// sequence the volume and the class driver are held on the same handle.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/nt_handle_renewal.h"
#include "device/nt_pass_through.h"
#include "device/nt_volume_hold.h"
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

// Control codes of the volume and the class driver. Named here rather than
// taken from the headers, which keep the newer ones from the NT 4.0 API.
constexpr DWORD kFsctlLockVolume = 0x00090018;
constexpr DWORD kFsctlUnlockVolume = 0x0009001C;
constexpr DWORD kFsctlDismountVolume = 0x00090020;
constexpr DWORD kIoctlCdromExclusiveAccess = 0x0002C05C;  // Vista and later
constexpr DWORD kIoctlStorageMcnControl = 0x002D0944;     // 2000 and later
static_assert(kFsctlLockVolume == FSCTL_LOCK_VOLUME);
static_assert(kFsctlUnlockVolume == FSCTL_UNLOCK_VOLUME);
static_assert(kFsctlDismountVolume == FSCTL_DISMOUNT_VOLUME);
#ifdef IOCTL_STORAGE_MCN_CONTROL
static_assert(kIoctlStorageMcnControl == IOCTL_STORAGE_MCN_CONTROL);
#endif

// CDROM_EXCLUSIVE_LOCK: the request, its flags and the caller's name, which
// the class driver shows to others that ask who holds the drive.
constexpr ULONG kExclusiveAccessLockDevice = 1;
constexpr ULONG kExclusiveAccessUnlockDevice = 2;
constexpr std::size_t kExclusiveCallerLength = 64;
constexpr char kExclusiveCallerName[] = "Flash Utility";
struct ExclusiveLockRequest {
  ULONG requestType;
  ULONG flags;
  UCHAR callerName[kExclusiveCallerLength];
};
static_assert(sizeof(ExclusiveLockRequest) == 72);

HANDLE OpenDevice(const std::string& path) {
  return CreateFileA(path.c_str(), kDesiredAccess, kShareMode, nullptr, OPEN_EXISTING, 0, nullptr);
}

class NtDeviceHandle : public DeviceHandle, private VolumeControl, private RenewableDevice {
 public:
  NtDeviceHandle(HANDLE device, const DriveAddress& address) : device_(device), address_(address) {}
  ~NtDeviceHandle() override {
    hold_.GiveBack(*this);
    if (device_ != INVALID_HANDLE_VALUE) CloseHandle(device_);
  }
  NtDeviceHandle(const NtDeviceHandle&) = delete;
  NtDeviceHandle& operator=(const NtDeviceHandle&) = delete;

  void Execute(const DriveCommand& command, std::uint8_t* data, std::uint16_t timeOutSeconds,
               CommandResult& result) override {
    SendRenewing(*this, command, data, timeOutSeconds, result);
  }

  ExclusiveClaim HoldExclusive() override { return hold_.Take(*this); }
  void ReleaseExclusive() override { hold_.GiveBack(*this); }

 private:
  void Send(const DriveCommand& command, std::uint8_t* data, std::uint16_t timeOutSeconds,
            CommandResult& result) override {
    PreparePassThrough(record_, address_, command, data, timeOutSeconds);
    DWORD bytesReturned = 0;
    const BOOL succeeded =
        DeviceIoControl(device_, kIoctlScsiPassThroughDirect, &record_, kPassThroughRecordSize,
                        &record_, kPassThroughRecordSize, &bytesReturned, nullptr);
    const DWORD lastError = succeeded != 0 ? 0 : GetLastError();
    RecordPassThroughResult(record_, succeeded != 0, lastError, command.length, result);
  }

  bool Reopen() override {
    if (device_ != INVALID_HANDLE_VALUE) CloseHandle(device_);
    // What was held went with the old handle.
    hold_.Forget();
    device_ = OpenDevice(DevicePath(address_.letter));
    return device_ != INVALID_HANDLE_VALUE;
  }

  std::uint32_t Control(DWORD code, void* input = nullptr, DWORD inputSize = 0) {
    DWORD bytesReturned = 0;
    if (DeviceIoControl(device_, code, input, inputSize, nullptr, 0, &bytesReturned, nullptr)) {
      return 0;
    }
    return GetLastError();
  }

  std::uint32_t LockVolume() override { return Control(kFsctlLockVolume); }
  std::uint32_t DismountVolume() override { return Control(kFsctlDismountVolume); }
  std::uint32_t UnlockVolume() override { return Control(kFsctlUnlockVolume); }
  std::uint32_t LockDevice() override { return ExclusiveAccess(kExclusiveAccessLockDevice); }
  std::uint32_t UnlockDevice() override { return ExclusiveAccess(kExclusiveAccessUnlockDevice); }
  std::uint32_t NotificationOff() override { return MediaNotification(false); }
  std::uint32_t NotificationOn() override { return MediaNotification(true); }

  std::uint32_t ExclusiveAccess(ULONG requestType) {
    ExclusiveLockRequest request{};
    request.requestType = requestType;
    std::memcpy(request.callerName, kExclusiveCallerName, sizeof kExclusiveCallerName);
    return Control(kIoctlCdromExclusiveAccess, &request, sizeof request);
  }

  std::uint32_t MediaNotification(bool on) {
    PREVENT_MEDIA_REMOVAL prevent{};
    // TRUE asks the class driver to stop reporting media changes.
    prevent.PreventMediaRemoval = on ? FALSE : TRUE;
    return Control(kIoctlStorageMcnControl, &prevent, sizeof prevent);
  }

  HANDLE device_;
  DriveAddress address_;
  PassThroughRecord record_{};
  VolumeHold hold_;
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
    HANDLE device = OpenDevice(path);
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
