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
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "sim/population.h"
#include "sim/preload/fake_sysfs.h"
#include "sim/preload/sg_io_answer.h"

namespace {

constexpr int kSetupFailedExitCode = 125;  // like env(1) when it cannot start a program
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
  std::mutex lock;                   // the machine and the transcript
  std::atomic<pid_t> lockHolder{0};  // the thread inside an SG_IO answer, 0 for none
  sim::SimMachine machine;
  std::string sysfsRoot;
  pid_t owner = 0;  // only the process that built the tree removes it
  // Descriptor -> drive index + 1; 0 for a descriptor of anything else.
  std::array<std::atomic<std::size_t>, kMaxSimulatedFd> openDrives{};
  std::FILE* transcript = nullptr;
  std::string logPath;
  std::atomic<bool> active{false};
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

[[noreturn]] void Refuse(const std::string& why) {
  std::fprintf(stderr, "flash-sim preload: %s\n", why.c_str());
  std::fflush(stderr);
  ::_exit(kSetupFailedExitCode);
}

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

// The index of the simulated drive a /dev node names, -1 for another path, and
// -2 for an optical or sg node that is not simulated (never the real device).
long SimulatedNode(const char* path) {
  if (path == nullptr || !State().active) return -1;
  std::string_view p(path);
  if (!p.starts_with(kDevDir)) return -1;
  p.remove_prefix(kDevDir.size());
  if (!p.starts_with("sr") && !p.starts_with("sg") && !p.starts_with("scd")) return -1;
  for (std::size_t i = 0; i < State().machine.DriveCount(); ++i) {
    if (p == sim::NodeName(i)) return static_cast<long>(i);
  }
  return -2;
}

int OpenNode(long node, int flags) {
  if (node == -2) {
    errno = ENOENT;
    return -1;
  }
  Preload& s = State();
  // A drive's configuration never changes after the population is loaded.
  const sim::DriveConfig& config = s.machine.Drive(static_cast<std::size_t>(node)).Config();
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

pid_t ThisThread() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

// Holds the calling thread until `milliseconds` have passed; a signal's
// handler runs meanwhile, but the wait goes on, as a drive's command does.
void HoldFor(std::uint32_t milliseconds) {
  constexpr long kNanosecondsPerMillisecond = 1000000;
  constexpr long kNanosecondsPerSecond = 1000000000;
  timespec until{};
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += static_cast<time_t>(milliseconds / 1000);
  until.tv_nsec += static_cast<long>(milliseconds % 1000) * kNanosecondsPerMillisecond;
  if (until.tv_nsec >= kNanosecondsPerSecond) {
    until.tv_sec += 1;
    until.tv_nsec -= kNanosecondsPerSecond;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

// The drive index behind `fd`, or nothing. Lock-free, so safe in a handler.
std::optional<std::size_t> SimulatedDrive(int fd) {
  Preload& s = State();
  if (!s.active || fd < 0 || fd >= kMaxSimulatedFd) return std::nullopt;
  const std::size_t slot = s.openDrives[static_cast<std::size_t>(fd)].load();
  if (slot == 0) return std::nullopt;
  return slot - 1;
}

int AnswerIoctl(std::size_t index, void* argument) {
  Preload& s = State();
  // A command from a signal handler that interrupted this thread's own
  // command would wait for itself forever; the drive is busy.
  if (s.lockHolder.load() == ThisThread()) {
    errno = EBUSY;
    return -1;
  }
  std::uint32_t late = 0;
  std::string line;
  int error = 0;
  {
    const std::lock_guard guard(s.lock);
    s.lockHolder = ThisThread();
    sim::SimDrive& drive = s.machine.Drive(index);
    error = sim::AnswerSgIo(drive, *static_cast<sg_io_hdr_t*>(argument), &late);
    if (s.transcript != nullptr && !drive.Transcript().empty()) {
      const sim::TranscriptEntry& entry = drive.Transcript().back();
      line = sim::NodeName(index) + " " + entry.TextWithResult() + " moved " +
             std::to_string(entry.moved) + "\n";
    }
    s.lockHolder = 0;
  }
  // The drive has run the command; its completion reaches the program late.
  // The transcript line is written when it does.
  if (late > 0) HoldFor(late);
  if (!line.empty()) {
    const std::lock_guard guard(s.lock);
    std::fputs(line.c_str(), s.transcript);
    std::fflush(s.transcript);
  }
  if (error != 0) {
    errno = error;
    return -1;
  }
  return 0;
}

__attribute__((constructor)) void StartSimulation() {
  Preload& s = State();
  const char* population = std::getenv("FLASH_SIM_POPULATION");
  if (population == nullptr || *population == '\0') {
    Refuse("FLASH_SIM_POPULATION names no population file; the program was not started");
  }
  std::string error;
  if (!sim::LoadPopulation(population, s.machine, error)) {
    Refuse(error + "; the program was not started");
  }
  const char* tempDir = std::getenv("TMPDIR");
  s.sysfsRoot = sim::CreateFakeSysfs(s.machine, tempDir && *tempDir ? tempDir : "/tmp", error);
  if (s.sysfsRoot.empty()) Refuse(error);
  s.owner = ::getpid();
  if (const char* path = std::getenv("FLASH_SIM_TRANSCRIPT"); path && *path) {
    s.transcript = std::fopen(path, "ae");
    if (s.transcript == nullptr) {
      sim::RemoveFakeSysfs(s.sysfsRoot);
      Refuse(std::string("cannot write the transcript file ") + path);
    }
  }
  if (const char* path = std::getenv("FLASH_SIM_LOG"); path && *path) s.logPath = path;
  s.active = true;
}

__attribute__((destructor)) void EndSimulation() {
  Preload& s = State();
  if (!s.active || s.owner != ::getpid()) return;
  s.active = false;
  sim::RemoveFakeSysfs(s.sysfsRoot);
  if (s.transcript != nullptr) std::fclose(s.transcript);
  s.transcript = nullptr;
}

}  // namespace

#define PRELOAD_EXPORT extern "C" __attribute__((visibility("default")))

// The optional third argument of open and openat, present only when a file
// may be created.
#define TAKE_MODE(flags, mode)                  \
  int mode = 0;                                 \
  if (((flags) & (O_CREAT | O_TMPFILE)) != 0) { \
    va_list arguments;                          \
    va_start(arguments, flags);                 \
    (mode) = va_arg(arguments, int);            \
    va_end(arguments);                          \
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
    if (request == SG_IO) return AnswerIoctl(*drive, argument);
    if (request == SG_GET_VERSION_NUM) {
      *static_cast<int*>(argument) = kSgVersion;
      return 0;
    }
  }
  return REAL(ioctl)(fd, request, argument);
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
