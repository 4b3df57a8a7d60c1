#include <windows.h>

#include "app/power_supply.h"
#include "common/system_library_win32.h"

namespace {

using GetSystemPowerStatusFunction = BOOL(WINAPI*)(LPSYSTEM_POWER_STATUS);
constexpr BYTE kAcLineOffline = 0;  // 1 is online, 255 unknown

}  // namespace

bool RunsOnBattery() {
  // Looked up at run time, so a system without power management still starts.
  const auto getStatus =
      win32::SystemFunction<GetSystemPowerStatusFunction>("kernel32.dll", "GetSystemPowerStatus");
  SYSTEM_POWER_STATUS status{};
  return getStatus != nullptr && getStatus(&status) != 0 && status.ACLineStatus == kAcLineOffline;
}
