#include <direct.h>
#include <windows.h>

#include <string>

#include "app/os_services.h"
#include "common/system_library_win32.h"
#include "common/windows_family_win32.h"

namespace {

// MAX_PATH is what GetModuleFileNameA can hold on the systems this runs on;
// a longer path is cut, which the check below refuses rather than guesses.
constexpr DWORD kPathCapacity = MAX_PATH;
constexpr DWORD kRestartFlags = EWX_REBOOT | EWX_FORCE;
// SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
// SHTDN_REASON_FLAG_PLANNED: a planned restart that finishes an update, so
// the system neither asks why nor records an unexpected shutdown. Systems
// before XP read the second argument as reserved and ignore it.
constexpr DWORD kRestartReason = 0x00040000 | 0x00000002 | 0x80000000;

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);

// On the NT family a process may restart the machine only with the shutdown
// privilege enabled in its token; the 9x family has no tokens.
void EnableShutdownPrivilege() {
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) == 0) {
    return;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) != 0) {
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  CloseHandle(token);
}

}  // namespace

std::string SelfExecutablePath() {
  char path[kPathCapacity + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, kPathCapacity);
  // A full buffer means the path was cut: the builder must not copy another file.
  if (length == 0 || length >= kPathCapacity) {
    return {};
  }
  return std::string(path, length);
}

std::string CurrentDirectory() {
  // The current drive's letter, ":\" and that drive's current directory
  // without its leading backslash: C:\TOOLS, or C:\ at the root.
  const int drive = _getdrive();  // 1 = A
  if (drive <= 0) {
    return ".";
  }
  char directory[kPathCapacity + 1] = {};
  if (_getdcwd(drive, directory, static_cast<int>(kPathCapacity)) == nullptr) {
    return ".";
  }
  // _getdcwd answers "X:\..."; the drive's letter is put back from its number.
  const std::string path = directory;
  std::size_t rest = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  while (rest < path.size() && path[rest] == '\\') {
    ++rest;
  }
  return std::string(1, static_cast<char>('A' + drive - 1)) + ":\\" + path.substr(rest);
}

bool RestartSystem() {
  if (win32::IsNtFamily()) {
    EnableShutdownPrivilege();
  }
  // Refused (no privilege, a policy, another program's veto): the user is
  // told to restart the machine.
  return ExitWindowsEx(kRestartFlags, kRestartReason) != 0;
}

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

std::uint32_t MonotonicMilliseconds() { return GetTickCount(); }

void ProtectLibrarySearch() {
  // The 9x family's ASPI layer is found by the usual search, as its vendors
  // installed it; those systems have neither call below anyway.
  if (!win32::IsNtFamily()) return;
  // System DLLs load others by bare name (uxtheme, dwmapi, version): from
  // now on those come from the system directory only, not from beside the
  // program, which may be a download folder.
  if (const auto setDefault = win32::SystemFunction<SetDefaultDllDirectoriesFn>(
          "kernel32.dll", "SetDefaultDllDirectories")) {
    if (setDefault(win32::kSearchSystem32Only)) return;
  }
  // XP SP1 to Vista: at least the working directory leaves the search.
  if (const auto setDirectory =
          win32::SystemFunction<SetDllDirectoryFn>("kernel32.dll", "SetDllDirectoryA")) {
    setDirectory("");
  }
}
