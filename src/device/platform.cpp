#include "device/platform.h"

#include "device/os_paths.h"

namespace {
TransportPath* installedPath = nullptr;
}  // namespace

void InstallTransportPath(TransportPath* path) { installedPath = path; }

TransportPath& ChooseTransportPath() {
  if (installedPath != nullptr) {
    return *installedPath;
  }
#if defined(_WIN32)
  return IsNtPlatform() ? NtPassThroughPath() : AspiPath();
#elif defined(__linux__)
  return LinuxSgIoPath();
#else
#error "no transport path for this operating system"
#endif
}
