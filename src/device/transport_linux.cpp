#include "device/transport_linux.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <limits>
#include <thread>

#include "common/format_text.h"
#include "device/device_messages.h"
#include "device/linux_sg_io.h"
#include "device/os_paths.h"

// glibc has the system call but no header declares it.
extern "C" int capget(cap_user_header_t header, cap_user_data_t data);

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kOpenFlags = O_RDWR | O_NONBLOCK | O_CLOEXEC;  // no wait for a medium
constexpr char kRawIoNeeded[] =
    "Firmware commands need root rights (CAP_SYS_RAWIO) on Linux: run the utility as root.";
// The device path, then kRawIoNeeded.
constexpr char kPrivilegeNotice[] =
    "The drive %s refused the command: operation not permitted.\n%s";
constexpr char kPrivilegeMissingNotice[] = "Nothing was sent to the drive %s.\n%s";

// systemd-udevd takes a shared lock on the node while it probes a drive
// (cdrom_id, ata_id, blkid), which takes a second or two; a lock still held
// after this long belongs to a program that keeps it.
constexpr std::chrono::milliseconds kClaimWait{5000};
constexpr std::chrono::milliseconds kClaimPause{100};
// How long an unplugged drive's node may take to vanish after its commands
// began to fail.
constexpr std::chrono::milliseconds kRemovalWait{1000};
constexpr std::chrono::milliseconds kRemovalPause{50};
constexpr std::uint32_t kBytesPerKib = 1024;
constexpr std::size_t kNumberFileLength = 32;  // a sysfs number and its line end

constexpr char kOpenPrivilegeNotice[] =
    "The drive %s cannot be opened: permission denied.\n"
    "Opening it needs read and write access to the device node, and firmware commands need "
    "root rights (CAP_SYS_RAWIO) on Linux: run the utility as root.";

bool FitsByte(std::uint64_t value) { return value <= std::numeric_limits<std::uint8_t>::max(); }

bool ProcessHasRawIo() {
  __user_cap_header_struct header{.version = _LINUX_CAPABILITY_VERSION_3, .pid = 0};
  std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> data{};
  if (capget(&header, data.data()) != 0) {
    return true;  // no answer: the kernel's own refusal is still explained
  }
  return (data[0].effective & (1U << CAP_SYS_RAWIO)) != 0;
}

std::optional<std::uint32_t> ReadKib(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::array<char, kNumberFileLength> text{};
  const ssize_t length = ::read(fd, text.data(), text.size());
  ::close(fd);
  if (length <= 0) return std::nullopt;
  const char* end = text.data() + length;
  while (end > text.data() && (end[-1] == '\n' || end[-1] == ' ')) --end;
  std::uint32_t value = 0;
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

std::string OpenFailureNotice(int error, const std::string& devicePath) {
  return error == EACCES || error == EPERM ? FormatText(kOpenPrivilegeNotice, devicePath.c_str())
                                           : std::string();
}

// Where the handle finds what the system says about its node.
struct NodePlaces {
  fs::path blockEntry;  // <sys>/class/block/srN
  fs::path devRoot;     // where the sg sibling's node lies
};

class LinuxDeviceHandle : public DeviceHandle {
 public:
  LinuxDeviceHandle(int fd, std::string devicePath, NodePlaces places, SgIoCall sgIo,
                    std::function<bool()> hasRawIo)
      : fd_(fd),
        devicePath_(std::move(devicePath)),
        places_(std::move(places)),
        sgIo_(std::move(sgIo)),
        hasRawIo_(std::move(hasRawIo)) {}
  ~LinuxDeviceHandle() override {
    CloseExclusive();
    ::close(fd_);
  }
  LinuxDeviceHandle(const LinuxDeviceHandle&) = delete;
  LinuxDeviceHandle& operator=(const LinuxDeviceHandle&) = delete;

  void Execute(const DriveCommand& command, std::uint8_t* data, std::uint16_t timeOutSeconds,
               CommandResult& result) override {
    if (gone_) {
      result = CommandResult{};
      result.errorCode = ENODEV;
      return;
    }
    lastTimeOut_ = timeOutSeconds;
    SgIoExchange exchange;
    PrepareSgIo(exchange, command, data, timeOutSeconds);
    const int error = sgIo_(exclusiveFd_ >= 0 ? exclusiveFd_ : fd_, exchange.header);
    RecordSgIoResult(exchange, error, result);
    if (SgIoLostDevice(exchange, error) && NodeRemoved()) {
      gone_ = true;
      result.callSucceeded = false;
      result.errorCode = ENODEV;
    }
  }

  std::string FailureNotice(const CommandResult& result) const override {
    if (result.callSucceeded) {
      return {};
    }
    switch (result.errorCode) {
      case EPERM:
        return FormatText(kPrivilegeNotice, devicePath_.c_str(), kRawIoNeeded);
      case ETIMEDOUT:
        return FormatText(kTimedOutFormat, devicePath_.c_str(), unsigned{lastTimeOut_});
      case ENODEV:
        // Told once: every later command fails the same way without being sent.
        if (gone_ && !goneTold_) {
          goneTold_ = true;
          return FormatText(kGoneFormat, devicePath_.c_str());
        }
        return {};
      default:
        return {};
    }
  }

  // A second open of the same node, with O_EXCL: the block layer then refuses
  // a mount and every other exclusive open until it is closed, and fails it
  // with EBUSY while a disc is mounted or another program holds the drive.
  // Neither stops programs that merely open the node (udev's probes) or that
  // go through its SCSI generic sibling, so the node is also locked with
  // flock, which systemd-udevd honours by not probing, and the sibling is
  // opened exclusively. The shared descriptor stays open, so the drive keeps
  // its place in the list whatever happens to the claim.
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
    if (!ClaimLockAndSibling()) {
      CloseExclusive();
      return {.errorCode = EBUSY, .inUse = true};
    }
    return {};
  }

  void ReleaseExclusive() override { CloseExclusive(); }

  std::string MissingPrivilege() const override {
    return hasRawIo_ && !hasRawIo_()
               ? FormatText(kPrivilegeMissingNotice, devicePath_.c_str(), kRawIoNeeded)
               : std::string();
  }

  // The block layer splits nothing for SG_IO: a transfer beyond the queue's
  // limit fails whole, with a bare input/output error.
  std::optional<std::uint32_t> MaxTransferBytes() const override {
    const fs::path queue = places_.blockEntry / "queue";
    const std::optional<std::uint32_t> hardware = ReadKib(queue / "max_hw_sectors_kb");
    const std::optional<std::uint32_t> chosen = ReadKib(queue / "max_sectors_kb");
    if (!hardware && !chosen) return std::nullopt;
    const std::uint32_t kib = std::min(hardware.value_or(UINT32_MAX), chosen.value_or(UINT32_MAX));
    return kib > UINT32_MAX / kBytesPerKib ? UINT32_MAX : kib * kBytesPerKib;
  }

  bool Gone() const override { return gone_; }

 private:
  // Waits a bounded time for udev's shared lock to go and for the sibling to
  // be free. A sibling that cannot be opened for another reason (no sg
  // driver, none listed) is no one else's way in either, so the claim goes on.
  bool ClaimLockAndSibling() {
    const fs::path sibling = SgSibling();
    bool locked = false;
    bool siblingWanted = !sibling.empty();
    const Clock::time_point deadline = Clock::now() + kClaimWait;
    while (true) {
      if (!locked) {
        locked = ::flock(exclusiveFd_, LOCK_EX | LOCK_NB) == 0 ||
                 (errno != EWOULDBLOCK && errno != EINTR);
      }
      if (siblingWanted && sgFd_ < 0) {
        sgFd_ = ::open(sibling.c_str(), O_RDWR | O_EXCL | O_NONBLOCK | O_CLOEXEC);
        siblingWanted = sgFd_ >= 0 || errno == EBUSY || errno == EINTR;
      }
      if (locked && (!siblingWanted || sgFd_ >= 0)) return true;
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(kClaimPause);
    }
  }

  fs::path SgSibling() const {
    std::error_code error;
    fs::directory_iterator entries(places_.blockEntry / "device" / "scsi_generic", error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
      const std::string name = entries->path().filename().string();
      if (name.starts_with("sg")) return places_.devRoot / name;
    }
    return {};
  }

  // Only a node that has left sysfs proves the drive gone: the same codes
  // also come from a transfer that failed on the way.
  bool NodeRemoved() const {
    const Clock::time_point deadline = Clock::now() + kRemovalWait;
    while (true) {
      std::error_code error;
      if (!fs::exists(places_.blockEntry, error) && !error) return true;
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(kRemovalPause);
    }
  }

  void CloseExclusive() {
    if (sgFd_ >= 0) {
      ::close(sgFd_);
      sgFd_ = -1;
    }
    if (exclusiveFd_ >= 0) {
      ::close(exclusiveFd_);  // gives the lock back with it
      exclusiveFd_ = -1;
    }
  }

  int fd_;
  int exclusiveFd_ = -1;  // open while the drive is held exclusively
  int sgFd_ = -1;         // the sg sibling, open exclusively while held
  std::string devicePath_;
  NodePlaces places_;
  SgIoCall sgIo_;
  std::function<bool()> hasRawIo_;
  std::uint16_t lastTimeOut_ = 0;
  bool gone_ = false;
  mutable bool goneTold_ = false;
};

}  // namespace

int IssueSgIo(int fd, sg_io_hdr_t& header) { return ::ioctl(fd, SG_IO, &header) == 0 ? 0 : errno; }

LinuxTransportPath::LinuxTransportPath(std::filesystem::path sysRoot, std::filesystem::path devRoot,
                                       SgIoCall sgIo, std::function<bool()> hasRawIo)
    : sysRoot_(std::move(sysRoot)),
      devRoot_(std::move(devRoot)),
      sgIo_(std::move(sgIo)),
      hasRawIo_(hasRawIo ? std::move(hasRawIo) : ProcessHasRawIo) {}

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
  NodePlaces places{.blockEntry = sysRoot_ / "class" / "block" / fs::path(devicePath).filename(),
                    .devRoot = devRoot_};
  return {.handle = std::make_unique<LinuxDeviceHandle>(fd, devicePath, std::move(places), sgIo_,
                                                        hasRawIo_),
          .devicePath = devicePath};
}

std::optional<std::string> LinuxTransportPath::SystemErrorText(std::uint32_t errorCode) {
  return std::string(std::strerror(static_cast<int>(errorCode)));
}

TransportPath& LinuxSgIoPath() {
  static LinuxTransportPath path;
  return path;
}
