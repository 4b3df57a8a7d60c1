#include "device/transport_linux.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "common/format_text.h"
#include "device/linux_sg_io.h"
#include "device/os_paths.h"

namespace {

constexpr int kOpenFlags = O_RDWR | O_NONBLOCK | O_CLOEXEC;  // no wait for a medium
constexpr char kPrivilegeNotice[] =
    "The drive %s refused the command: operation not permitted.\n"
    "Firmware commands need root rights (CAP_SYS_RAWIO) on Linux: run the utility as root.";

constexpr char kOpenPrivilegeNotice[] =
    "The drive %s cannot be opened: permission denied.\n"
    "Opening it needs read and write access to the device node, and firmware commands need "
    "root rights (CAP_SYS_RAWIO) on Linux: run the utility as root.";

bool FitsByte(std::uint64_t value) { return value <= std::numeric_limits<std::uint8_t>::max(); }

std::string OpenFailureNotice(int error, const std::string& devicePath) {
  return error == EACCES || error == EPERM ? FormatText(kOpenPrivilegeNotice, devicePath.c_str())
                                           : std::string();
}

class LinuxDeviceHandle : public DeviceHandle {
 public:
  LinuxDeviceHandle(int fd, std::string devicePath, SgIoCall sgIo)
      : fd_(fd), devicePath_(std::move(devicePath)), sgIo_(std::move(sgIo)) {}
  ~LinuxDeviceHandle() override {
    CloseExclusive();
    ::close(fd_);
  }
  LinuxDeviceHandle(const LinuxDeviceHandle&) = delete;
  LinuxDeviceHandle& operator=(const LinuxDeviceHandle&) = delete;

  void Execute(const DriveCommand& command, std::uint8_t* data, std::uint16_t timeOutSeconds,
               CommandResult& result) override {
    SgIoExchange exchange;
    PrepareSgIo(exchange, command, data, timeOutSeconds);
    RecordSgIoResult(exchange, sgIo_(exclusiveFd_ >= 0 ? exclusiveFd_ : fd_, exchange.header),
                     result);
  }

  std::string FailureNotice(const CommandResult& result) const override {
    if (result.callSucceeded || result.errorCode != EPERM) {
      return {};
    }
    return FormatText(kPrivilegeNotice, devicePath_.c_str());
  }

  // A second open of the same node, with O_EXCL: the block layer then refuses
  // a mount and every other exclusive open until it is closed, and fails it
  // with EBUSY while a disc is mounted or another program holds the drive.
  // The shared descriptor stays open, so the drive keeps its place in the
  // list whatever happens to the claim.
  ExclusiveClaim HoldExclusive() override {
    if (exclusiveFd_ >= 0) {
      return {};
    }
    const int fd = ::open(devicePath_.c_str(), kOpenFlags | O_EXCL);
    if (fd < 0) {
      const int error = errno;
      return {.errorCode = static_cast<std::uint32_t>(error),
              .inUse = error == EBUSY,
              .notice = OpenFailureNotice(error, devicePath_)};
    }
    exclusiveFd_ = fd;
    return {};
  }

  void ReleaseExclusive() override { CloseExclusive(); }

 private:
  void CloseExclusive() {
    if (exclusiveFd_ >= 0) {
      ::close(exclusiveFd_);
      exclusiveFd_ = -1;
    }
  }

  int fd_;
  int exclusiveFd_ = -1;  // open while the drive is held exclusively
  std::string devicePath_;
  SgIoCall sgIo_;
};

}  // namespace

int IssueSgIo(int fd, sg_io_hdr_t& header) { return ::ioctl(fd, SG_IO, &header) == 0 ? 0 : errno; }

LinuxTransportPath::LinuxTransportPath(std::filesystem::path sysRoot, std::filesystem::path devRoot,
                                       SgIoCall sgIo)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)), sgIo_(std::move(sgIo)) {}

std::vector<OpticalDriveNode> LinuxTransportPath::AddressableDrives() const {
  std::vector<OpticalDriveNode> drives = ScanOpticalDrives(sysRoot_, devRoot_);
  std::erase_if(drives, [](const OpticalDriveNode& d) {
    return !FitsByte(d.address.host) || !FitsByte(d.address.target) || !FitsByte(d.address.lun);
  });
  return drives;
}

std::vector<DriveAddress> LinuxTransportPath::Candidates() {
  std::vector<DriveAddress> addresses;
  for (const OpticalDriveNode& drive : AddressableDrives()) {
    addresses.push_back({.hostAdapter = static_cast<std::uint8_t>(drive.address.host),
                         .target = static_cast<std::uint8_t>(drive.address.target),
                         .lun = static_cast<std::uint8_t>(drive.address.lun),
                         .node = drive.devicePath});
  }
  return addresses;
}

std::string LinuxTransportPath::NodeAt(const DriveAddress& address) const {
  // Host, target and LUN name a drive only when no other channel of the host
  // has one at the same place: guessing between two would send one drive's
  // commands to the other.
  std::string found;
  for (const OpticalDriveNode& drive : AddressableDrives()) {
    if (drive.address.host == address.hostAdapter && drive.address.target == address.target &&
        drive.address.lun == address.lun) {
      if (!found.empty()) {
        return {};
      }
      found = drive.devicePath;
    }
  }
  return found;
}

PathOpen LinuxTransportPath::Open(const DriveAddress& address) {
  const std::string devicePath = address.node.empty() ? NodeAt(address) : address.node;
  if (devicePath.empty()) {
    return {.errorCode = ENODEV,
            .devicePath = std::to_string(address.hostAdapter) + ":?:" +
                          std::to_string(address.target) + ":" + std::to_string(address.lun)};
  }
  const int fd = ::open(devicePath.c_str(), kOpenFlags);
  if (fd < 0) {
    const int error = errno;
    return {.errorCode = static_cast<std::uint32_t>(error),
            .devicePath = devicePath,
            .notice = OpenFailureNotice(error, devicePath)};
  }
  return {.handle = std::make_unique<LinuxDeviceHandle>(fd, devicePath, sgIo_),
          .devicePath = devicePath};
}

std::optional<std::string> LinuxTransportPath::SystemErrorText(std::uint32_t errorCode) {
  return std::string(std::strerror(static_cast<int>(errorCode)));
}

TransportPath& LinuxSgIoPath() {
  static LinuxTransportPath path;
  return path;
}
