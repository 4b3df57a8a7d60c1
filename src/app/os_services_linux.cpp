#include <sys/reboot.h>
#include <unistd.h>

#include <cstdlib>
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
