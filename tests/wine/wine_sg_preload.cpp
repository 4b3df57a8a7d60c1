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
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "sim/population.h"
#include "sim/preload/sg_io_answer.h"

#define PRELOAD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kSetupFailedExitCode = 125;

using FileId = std::pair<dev_t, ino_t>;

struct Preload {
  std::mutex lock;
  bool loaded = false;
  sim::SimMachine machine;
  std::map<FileId, std::size_t> drives;  // device file -> drive index
  std::FILE* transcript = nullptr;
};

// Never destroyed: calls may still come in after static destructors ran.
Preload& State() {
  static auto* state = new Preload;
  return *state;
}

using IoctlFunction = int (*)(int, unsigned long, ...);

IoctlFunction RealIoctl(const char* name) {
  auto* real = reinterpret_cast<IoctlFunction>(::dlsym(RTLD_NEXT, name));
  if (real == nullptr) {
    std::fprintf(stderr, "flash wine preload: no %s to pass calls on to\n", name);
    ::_exit(kSetupFailedExitCode);
  }
  return real;
}

[[noreturn]] void Refuse(const std::string& why) {
  std::fprintf(stderr, "flash wine preload: %s\n", why.c_str());
  std::fflush(stderr);
  ::_exit(kSetupFailedExitCode);
}

// Loaded at the first SG_IO, so processes that never send one (the
// wineserver, Wine's services) never read the population.
void Load(Preload& s) {
  if (s.loaded) return;
  s.loaded = true;
  const char* population = std::getenv("FLASH_SIM_POPULATION");
  const char* devices = std::getenv("FLASH_SIM_WINE_DEVICES");
  if (population == nullptr || devices == nullptr) {
    Refuse("FLASH_SIM_POPULATION and FLASH_SIM_WINE_DEVICES must both be set");
  }
  std::string error;
  if (!sim::LoadPopulation(population, s.machine, error)) Refuse(error);
  for (std::size_t i = 0; i < s.machine.DriveCount(); ++i) {
    const char letter = s.machine.Drive(i).Config().letter;
    if (letter == ' ') continue;
    const std::string file = std::string(devices) + "/" + letter;
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) Refuse("no device file " + file);
    s.drives[{info.st_dev, info.st_ino}] = i;
  }
  if (const char* path = std::getenv("FLASH_SIM_TRANSCRIPT")) {
    s.transcript = std::fopen(path, "ae");
    if (s.transcript == nullptr) Refuse(std::string("cannot write ") + path);
  }
}

// The simulated drive behind `fd`, or null for any other file.
sim::SimDrive* DriveOf(Preload& s, int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  Load(s);
  const auto found = s.drives.find({info.st_dev, info.st_ino});
  return found == s.drives.end() ? nullptr : &s.machine.Drive(found->second);
}

}  // namespace

namespace {

// Answers SG_IO on a simulated drive's file; everything else goes to `real`.
int Ioctl(IoctlFunction real, int fd, unsigned long request, void* argument) {
  if (request == SG_IO) {
    Preload& s = State();
    const std::lock_guard guard(s.lock);
    if (sim::SimDrive* drive = DriveOf(s, fd)) {
      const int error = sim::AnswerSgIo(*drive, *static_cast<sg_io_hdr_t*>(argument));
      if (s.transcript != nullptr && !drive->Transcript().empty()) {
        const sim::TranscriptEntry& entry = drive->Transcript().back();
        std::fprintf(s.transcript, "%c: %s moved %u\n", drive->Config().letter,
                     entry.TextWithResult().c_str(), entry.moved);
        std::fflush(s.transcript);
      }
      if (error != 0) {
        errno = error;
        return -1;
      }
      return 0;
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
// through this name; the real one converts the time-carrying requests.
PRELOAD_EXPORT int __ioctl_time64(int fd, unsigned long request, ...) noexcept {
  static const IoctlFunction real = RealIoctl("__ioctl_time64");
  std::va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  return Ioctl(real, fd, request, argument);
}
#endif
