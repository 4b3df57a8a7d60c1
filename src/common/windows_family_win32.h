// Which of the two Windows families runs the program: the NT family (NT 4.0,
// 2000, XP and later), or the 9x family (95, 98, ME), which reaches drives
// through ASPI and replaces files in two steps.
#pragma once

#include <windows.h>

namespace win32 {

// The structure's first size, which every release accepts.
inline constexpr DWORD kOsVersionInfoSize = 148;
static_assert(sizeof(OSVERSIONINFOA) == kOsVersionInfoSize);

inline bool IsNtFamily() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = kOsVersionInfoSize;
  return GetVersionExA(&info) != 0 && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace win32
