// Loaded with LD_PRELOAD into every process of a Wine prefix, this library
// answers the SG_IO requests that Wine's IOCTL_SCSI_PASS_THROUGH_DIRECT makes
// on the Unix file behind a drive letter, from the simulated drive of that
// letter. Files are recognised by device and inode number: the descriptor a
// program holds is not the one the wineserver opened. Every other call passes
// through untouched, so the wineserver and Wine's services run as usual.
//
// Environment (read here only, never by the program under test):
//   FLASH_SIM_POPULATION   the population file; drives need a letter
//   FLASH_SIM_WINE_DEVICES a directory holding one regular file per drive
//                          letter, named by the letter ("D"), which the
//                          prefix's "d::" device link points at
//   FLASH_SIM_TRANSCRIPT   optional: each command is appended as a line
#include <dlfcn.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cstdarg>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "sim/preload/preload_machine.h"

#define PRELOAD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr std::string_view kLibrary = "flash wine preload";

using FileId = std::pair<dev_t, ino_t>;

struct Preload {
  std::once_flag loaded;
  sim::PreloadMachine machine;
  std::map<FileId, std::size_t> drives;  // device file -> drive index
};

// Never destroyed: calls may still come in after static destructors ran.
Preload& State() {
  static auto* state = new Preload;
  return *state;
}

using IoctlFunction = int (*)(int, unsigned long, ...);

[[noreturn]] void Refuse(const std::string& why) { sim::RefuseToStart(kLibrary, why); }

IoctlFunction RealIoctl(const char* name) {
  auto* real = reinterpret_cast<IoctlFunction>(::dlsym(RTLD_NEXT, name));
  if (real == nullptr) Refuse(std::string("no ") + name + " to pass calls on to");
  return real;
}

// Loaded at the first SG_IO, so processes that never send one (the
// wineserver, Wine's services) never read the population.
void Load(Preload& s) {
  const char* population = std::getenv("FLASH_SIM_POPULATION");
  const char* devices = std::getenv("FLASH_SIM_WINE_DEVICES");
  if (population == nullptr || devices == nullptr) {
    Refuse("FLASH_SIM_POPULATION and FLASH_SIM_WINE_DEVICES must both be set");
  }
  std::string error;
  if (!s.machine.Load(population, error)) Refuse(error);
  for (std::size_t i = 0; i < s.machine.Machine().DriveCount(); ++i) {
    const char letter = s.machine.Machine().Drive(i).Config().letter;
    if (letter == ' ') continue;
    const std::string file = std::string(devices) + "/" + letter;
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) Refuse("no device file " + file);
    s.drives[{info.st_dev, info.st_ino}] = i;
  }
  if (!s.machine.OpenTranscript(error)) Refuse(error);
}

// The index of the simulated drive behind `fd`, or -1 for any other file.
long DriveOf(Preload& s, int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  std::call_once(s.loaded, Load, s);
  const auto found = s.drives.find({info.st_dev, info.st_ino});
  return found == s.drives.end() ? -1 : static_cast<long>(found->second);
}

// Answers SG_IO on a simulated drive's file; everything else goes to `real`.
int Ioctl(IoctlFunction real, int fd, unsigned long request, void* argument) {
  if (request == SG_IO) {
    Preload& s = State();
    if (const long drive = DriveOf(s, fd); drive >= 0) {
      const auto index = static_cast<std::size_t>(drive);
      const char letter[] = {s.machine.Machine().Drive(index).Config().letter, ':', '\0'};
      return s.machine.Answer(index, letter, argument);
    }
  }
  return real(fd, request, argument);
}

}  // namespace

PRELOAD_EXPORT int ioctl(int fd, unsigned long request, ...) noexcept {
  static const IoctlFunction real = RealIoctl("ioctl");
  std::va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  return Ioctl(real, fd, request, argument);
}

#if __TIMESIZE == 32
// A 32-bit program built with 64-bit time (32-bit Wine is) reaches ioctl
// through this name (glibc's); the real one converts the time-carrying
// requests.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
PRELOAD_EXPORT int __ioctl_time64(int fd, unsigned long request, ...) noexcept {
  static const IoctlFunction real = RealIoctl("__ioctl_time64");
  std::va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  return Ioctl(real, fd, request, argument);
}
#endif
