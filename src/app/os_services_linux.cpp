#include "app/os_services_linux.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "app/os_services.h"

namespace {

// systemd first; then what sysvinit, OpenRC and busybox systems answer to.
// Their complaints would land on the window, so they are silenced.
constexpr const char* kCleanRestartCommands[] = {
    "systemctl reboot >/dev/null 2>&1",
    "shutdown -r now >/dev/null 2>&1",
    "reboot >/dev/null 2>&1",
};

}  // namespace

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

bool RequestCleanRestart(const std::function<int(const char* command)>& run) {
  for (const char* command : kCleanRestartCommands) {
    if (run(command) == 0) return true;
  }
  return false;
}

bool RestartSystem() {
  return RequestCleanRestart([](const char* command) { return std::system(command); });
}

std::uint32_t MonotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000U +
                                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000U);
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
