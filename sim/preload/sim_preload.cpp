// Loaded with LD_PRELOAD into an unmodified program, this library puts the
// simulated drives of a population file where the program looks for drives:
// its sysfs scan of /sys/class/block sees one srN entry per simulated drive
// (and nothing of the real machine), opening /dev/srN gives a descriptor this
// library owns, and SG_IO on it is answered by the simulated drive. A restart
// request is recorded and never carried out.
//
// Environment (read here only, never by the program):
//   FLASH_SIM_POPULATION  the population file (required)
//   FLASH_SIM_TRANSCRIPT  where each command is appended as a line (optional)
//   FLASH_SIM_LOG         where restart requests are appended (optional)
//   FLASH_SIM_RAWIO       "no": the process lacks CAP_SYS_RAWIO (optional;
//                         otherwise the simulated machine grants it)
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <scsi/sg.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/population.h"
#include "sim/preload/fake_sysfs.h"
#include "sim/preload/preload_machine.h"

namespace {

constexpr std::string_view kLibrary = "flash-sim preload";
constexpr std::string_view kBlockClassDir = "/sys/class/block";
constexpr std::string_view kDevDir = "/dev/";
constexpr int kSgVersion = 30527;  // what a current sg driver reports
constexpr char kRestartNotice[] =
    "restart requested (caught by the simulation; the machine was not restarted)\n";

// Descriptors at or above this are never handed out for a simulated drive.
constexpr int kMaxSimulatedFd = 1024;

// A signal handler may call into this library while the thread it
// interrupted is inside it (ncurses' SIGTSTP handler resets the terminal
// through ioctl). So nothing a call on another file needs takes a lock: the
// descriptor table is read and written atomically, and only an SG_IO on a
// simulated drive locks the machine.
struct Preload {
  sim::PreloadMachine drives;
  std::string sysfsRoot;
  pid_t owner = 0;  // only the process that built the tree removes it
  // Descriptor -> drive index + 1; 0 for a descriptor of anything else.
  std::array<std::atomic<std::size_t>, kMaxSimulatedFd> openDrives{};
  std::string logPath;
  std::atomic<bool> active{false};
  bool withoutRawIo = false;
  // Per drive: its node is gone (the device was removed after an unplug),
  // and when the program first tried to lock it (steady milliseconds, 0: not yet).
  std::unique_ptr<std::atomic<bool>[]> removed;
  std::unique_ptr<std::atomic<std::int64_t>[]> firstLockTry;
};

// Never destroyed: interposed calls may come after static destructors ran.
Preload& State() {
  static auto* state = new Preload;
  return *state;
}

template <typename Function>
Function* Real(Function*& slot, const char* name) {
  if (slot == nullptr) slot = reinterpret_cast<Function*>(::dlsym(RTLD_NEXT, name));
  return slot;
}
#define REAL(name)                           \
  ([] {                                      \
    static decltype(&::name) slot = nullptr; \
    return Real(slot, #name);                \
  }())

[[noreturn]] void Refuse(const std::string& why) { sim::RefuseToStart(kLibrary, why); }

bool UnderBlockClass(const char* path) {
  if (path == nullptr) return false;
  const std::string_view p(path);
  return p.starts_with(kBlockClassDir) &&
         (p.size() == kBlockClassDir.size() || p[kBlockClassDir.size()] == '/');
}

// The path the real call should see: sysfs lookups go to the simulated tree.
struct Redirect {
  explicit Redirect(const char* original) : path(original) {
    Preload& s = State();
    if (s.active && UnderBlockClass(original)) {
      text = s.sysfsRoot + original;
      path = text.c_str();
    }
  }
  const char* path;
  std::string text;
};

// Added to a drive's index for its sg sibling's node.
constexpr long kSgNodeBase = 1L << 20;

// The index of the simulated drive a /dev node names (plus kSgNodeBase for
// its sg sibling), -1 for another path, and -2 for an optical or sg node that
// is not simulated (never the real device).
long SimulatedNode(const char* path) {
  if (path == nullptr || !State().active) return -1;
  std::string_view p(path);
  if (!p.starts_with(kDevDir)) return -1;
  p.remove_prefix(kDevDir.size());
  if (!p.starts_with("sr") && !p.starts_with("sg") && !p.starts_with("scd")) return -1;
  for (std::size_t i = 0; i < State().drives.Machine().DriveCount(); ++i) {
    if (p == sim::NodeName(i)) return static_cast<long>(i);
    if (p == sim::SgNodeName(i)) return kSgNodeBase + static_cast<long>(i);
  }
  return -2;
}

std::int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int OpenNode(long node, int flags) {
  Preload& s = State();
  const bool sg = node >= kSgNodeBase;
  const auto index = static_cast<std::size_t>(sg ? node - kSgNodeBase : node);
  if (node == -2 || s.removed[index]) {
    errno = ENOENT;
    return -1;
  }
  // A drive's configuration never changes after the population is loaded.
  const sim::DriveConfig& config = s.drives.Machine().Drive(index).Config();
  if (sg) {
    // The sg driver refuses an exclusive open while anyone else has the node
    // open. The program only holds it: commands never go through it.
    if ((flags & O_EXCL) != 0 && config.sgInUse) {
      errno = EBUSY;
      return -1;
    }
    return REAL(open)("/dev/null", O_RDWR | (flags & O_CLOEXEC));
  }
  if (!config.openable) {
    errno = static_cast<int>(config.openErrorCode);
    return -1;
  }
  // As the block layer does: a drive that someone else holds refuses only an exclusive open.
  if ((flags & O_EXCL) != 0 && config.inUse) {
    errno = EBUSY;
    return -1;
  }
  const int fd = REAL(open)("/dev/null", O_RDWR | (flags & O_CLOEXEC));
  if (fd >= kMaxSimulatedFd) {
    REAL(close)(fd);
    errno = EMFILE;
    return -1;
  }
  if (fd >= 0) s.openDrives[static_cast<std::size_t>(fd)] = static_cast<std::size_t>(node) + 1;
  if (fd >= 0 && fd <= STDERR_FILENO) {
    // The program's console text goes where its standard streams are.
    s.drives.Note(sim::NodeName(static_cast<std::size_t>(node)) +
                  " opened as standard descriptor " + std::to_string(fd) + "\n");
  }
  return fd;
}

void Record(const std::string& what) {
  Preload& s = State();
  std::fputs(kRestartNotice, stderr);
  std::fflush(stderr);
  if (s.logPath.empty()) return;
  if (std::FILE* log = std::fopen(s.logPath.c_str(), "a")) {
    std::fprintf(log, "restart requested: %s\n", what.c_str());
    std::fclose(log);
  }
}

bool IsRestartCommand(std::string_view command) {
  for (std::string_view word :
       {"reboot", "shutdown", "poweroff", "halt", "kexec", "init 6", "init 0", "telinit"}) {
    if (command.find(word) != std::string_view::npos) return true;
  }
  return false;
}

// The drive index behind `fd`, or nothing. Lock-free, so safe in a handler.
std::optional<std::size_t> SimulatedDrive(int fd) {
  Preload& s = State();
  if (!s.active || fd < 0 || fd >= kMaxSimulatedFd) return std::nullopt;
  const std::size_t slot = s.openDrives[static_cast<std::size_t>(fd)].load();
  if (slot == 0) return std::nullopt;
  return slot - 1;
}

__attribute__((constructor)) void StartSimulation() {
  Preload& s = State();
  const char* population = std::getenv("FLASH_SIM_POPULATION");
  if (population == nullptr || *population == '\0') {
    Refuse("FLASH_SIM_POPULATION names no population file; the program was not started");
  }
  std::string error;
  if (!s.drives.Load(population, error)) {
    Refuse(error + "; the program was not started");
  }
  const char* tempDir = std::getenv("TMPDIR");
  s.sysfsRoot =
      sim::CreateFakeSysfs(s.drives.Machine(), tempDir && *tempDir ? tempDir : "/tmp", error);
  if (s.sysfsRoot.empty()) Refuse(error);
  s.owner = ::getpid();
  if (!s.drives.OpenTranscript(error)) {
    sim::RemoveFakeSysfs(s.sysfsRoot);
    Refuse(error);
  }
  if (const char* path = std::getenv("FLASH_SIM_LOG"); path && *path) s.logPath = path;
  const char* rawIo = std::getenv("FLASH_SIM_RAWIO");
  s.withoutRawIo = rawIo != nullptr && std::string_view(rawIo) == "no";
  const std::size_t count = s.drives.Machine().DriveCount();
  s.removed = std::make_unique<std::atomic<bool>[]>(count);
  s.firstLockTry = std::make_unique<std::atomic<std::int64_t>[]>(count);
  s.active = true;
}

__attribute__((destructor)) void EndSimulation() {
  Preload& s = State();
  if (!s.active || s.owner != ::getpid()) return;
  s.active = false;
  sim::RemoveFakeSysfs(s.sysfsRoot);
  s.drives.CloseTranscript();
}

}  // namespace

#define PRELOAD_EXPORT extern "C" __attribute__((visibility("default")))

// The optional third argument of open and openat, present only when a file
// may be created.
#define TAKE_MODE(flags, mode)                                                         \
  int mode = 0;                                                                        \
  if (((flags) & (O_CREAT | O_TMPFILE)) != 0) {                                        \
    va_list arguments;                                                                 \
    va_start(arguments, flags);                                                        \
    /* va_start above set it up; the analyzer */                                       \
    /* loses that inside a macro */                                                    \
    (mode) = va_arg(arguments, int); /* NOLINT(clang-analyzer-valist.Uninitialized) */ \
    va_end(arguments);                                                                 \
  }

PRELOAD_EXPORT int open(const char* path, int flags, ...) {
  TAKE_MODE(flags, mode);
  if (const long node = SimulatedNode(path); node != -1) return OpenNode(node, flags);
  return REAL(open)(Redirect(path).path, flags, mode);
}

PRELOAD_EXPORT int open64(const char* path, int flags, ...) {
  TAKE_MODE(flags, mode);
  if (const long node = SimulatedNode(path); node != -1) return OpenNode(node, flags);
  return REAL(open64)(Redirect(path).path, flags, mode);
}

PRELOAD_EXPORT int openat(int dirfd, const char* path, int flags, ...) {
  TAKE_MODE(flags, mode);
  if (const long node = SimulatedNode(path); node != -1) return OpenNode(node, flags);
  return REAL(openat)(dirfd, Redirect(path).path, flags, mode);
}

PRELOAD_EXPORT int openat64(int dirfd, const char* path, int flags, ...) {
  TAKE_MODE(flags, mode);
  if (const long node = SimulatedNode(path); node != -1) return OpenNode(node, flags);
  return REAL(openat64)(dirfd, Redirect(path).path, flags, mode);
}

// What fortified callers reach instead of open/openat; the names are glibc's.
// NOLINTBEGIN(bugprone-reserved-identifier)
PRELOAD_EXPORT int __open_2(const char* path, int flags) { return open(path, flags); }
PRELOAD_EXPORT int __open64_2(const char* path, int flags) { return open64(path, flags); }
PRELOAD_EXPORT int __openat_2(int dirfd, const char* path, int flags) {
  return openat(dirfd, path, flags);
}
PRELOAD_EXPORT int __openat64_2(int dirfd, const char* path, int flags) {
  return openat64(dirfd, path, flags);
}
// NOLINTEND(bugprone-reserved-identifier)

PRELOAD_EXPORT DIR* opendir(const char* path) { return REAL(opendir)(Redirect(path).path); }

PRELOAD_EXPORT int stat(const char* path, struct stat* buffer) noexcept {
  return REAL(stat)(Redirect(path).path, buffer);
}
PRELOAD_EXPORT int lstat(const char* path, struct stat* buffer) noexcept {
  return REAL(lstat)(Redirect(path).path, buffer);
}
PRELOAD_EXPORT int stat64(const char* path, struct stat64* buffer) noexcept {
  return REAL(stat64)(Redirect(path).path, buffer);
}
PRELOAD_EXPORT int lstat64(const char* path, struct stat64* buffer) noexcept {
  return REAL(lstat64)(Redirect(path).path, buffer);
}
PRELOAD_EXPORT int fstatat(int dirfd, const char* path, struct stat* buffer, int flags) noexcept {
  return REAL(fstatat)(dirfd, Redirect(path).path, buffer, flags);
}
PRELOAD_EXPORT int fstatat64(int dirfd, const char* path, struct stat64* buffer,
                             int flags) noexcept {
  return REAL(fstatat64)(dirfd, Redirect(path).path, buffer, flags);
}
PRELOAD_EXPORT int access(const char* path, int mode) noexcept {
  return REAL(access)(Redirect(path).path, mode);
}
PRELOAD_EXPORT ssize_t readlink(const char* path, char* buffer, size_t size) noexcept {
  return REAL(readlink)(Redirect(path).path, buffer, size);
}

PRELOAD_EXPORT int close(int fd) {
  if (SimulatedDrive(fd)) State().openDrives[static_cast<std::size_t>(fd)] = 0;
  return REAL(close)(fd);
}

PRELOAD_EXPORT int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  if (const std::optional<std::size_t> drive = SimulatedDrive(fd)) {
    if (request == SG_IO) {
      Preload& s = State();
      const int answer = s.drives.Answer(*drive, sim::NodeName(*drive), argument);
      const int error = errno;
      // The kernel removes an unplugged drive's device while its last
      // commands fail: the node and its sysfs entry are gone.
      if (!s.drives.Machine().Drive(*drive).Answering() && !s.removed[*drive].exchange(true)) {
        sim::RemoveFakeBlockEntry(s.sysfsRoot, *drive);
      }
      errno = error;
      return answer;
    }
    if (request == SG_GET_VERSION_NUM) {
      *static_cast<int*>(argument) = kSgVersion;
      return 0;
    }
  }
  return REAL(ioctl)(fd, request, argument);
}

// Locks on a simulated node are the simulation's own: every simulated
// descriptor is /dev/null underneath, whose real lock all of them would share.
// A drive whose lock another holds refuses LOCK_EX while it is held; a
// blocking request is refused as well, since nothing would ever wake it.
PRELOAD_EXPORT int flock(int fd, int operation) noexcept {
  const std::optional<std::size_t> drive = SimulatedDrive(fd);
  if (!drive) return REAL(flock)(fd, operation);
  Preload& s = State();
  const sim::DriveConfig& config = s.drives.Machine().Drive(*drive).Config();
  if ((operation & LOCK_EX) == 0 || !config.lockHeld) return 0;
  std::int64_t first = 0;
  const std::int64_t now = SteadyMilliseconds();
  s.firstLockTry[*drive].compare_exchange_strong(first, now);
  const std::int64_t since = s.firstLockTry[*drive].load();
  if (config.lockHeldMs != 0 && now - since >= config.lockHeldMs) return 0;
  errno = EWOULDBLOCK;
  return -1;
}

// glibc's name for the system call; the program asks it whether it may send
// firmware commands. The simulated machine grants CAP_SYS_RAWIO unless told
// otherwise, so that runs without root rehearse the root path.
PRELOAD_EXPORT int capget(cap_user_header_t header, cap_user_data_t data) noexcept {
  using Capget = int (*)(cap_user_header_t, cap_user_data_t);
  static Capget real = nullptr;
  const int answer = Real(real, "capget")(header, data);
  if (answer != 0 || data == nullptr || !State().active) return answer;
  const std::uint32_t bit = 1U << CAP_SYS_RAWIO;  // CAP_SYS_RAWIO < 32: in the first word
  if (State().withoutRawIo) {
    data[0].effective &= ~bit;
    data[0].permitted &= ~bit;
  } else {
    data[0].effective |= bit;
    data[0].permitted |= bit;
  }
  return answer;
}

PRELOAD_EXPORT int system(const char* command) {
  if (command != nullptr && IsRestartCommand(command)) {
    Record(command);
    return 0;  // as if the init system had accepted the request
  }
  return REAL(system)(command);
}

PRELOAD_EXPORT int reboot(int howTo) noexcept {
  char what[32];
  std::snprintf(what, sizeof what, "reboot(0x%08X)", static_cast<unsigned>(howTo));
  Record(what);
  return 0;
}
