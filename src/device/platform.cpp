#include "device/platform.h"

#include "device/os_paths.h"

#if defined(_WIN32)
#include "common/windows_family_win32.h"
#endif

namespace {
TransportPath* installedPath = nullptr;
}  // namespace

void InstallTransportPath(TransportPath* path) { installedPath = path; }

TransportPath& ChooseTransportPath() {
  if (installedPath != nullptr) {
    return *installedPath;
  }
#if defined(_WIN32)
  return win32::IsNtFamily() ? NtPassThroughPath() : AspiPath();
#elif defined(__linux__)
  return LinuxSgIoPath();
#else
#error "no transport path for this operating system"
#endif
}
