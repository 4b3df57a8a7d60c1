#include <sys/reboot.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "app/os_services.h"

std::string SelfExecutablePath() {
  std::error_code ec;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

std::string CurrentDirectory() {
  std::error_code ec;
  const auto path = std::filesystem::current_path(ec);
  return ec ? std::string(".") : path.string();
}

void RestartSystem() {
  // Ask the init system first so services stop cleanly; fall back to the
  // kernel after flushing the file systems.
  if (std::system("systemctl reboot >/dev/null 2>&1") == 0) return;
  sync();
  reboot(RB_AUTOBOOT);
}

void SleepMilliseconds(unsigned milliseconds) {
  timespec rest{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  // A signal cuts the wait short; the rest is waited for.
  while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

void ProtectLibrarySearch() {
  // The dynamic loader takes libraries from its own fixed paths; the program
  // loads none at run time.
}
