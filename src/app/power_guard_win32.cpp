#include <windows.h>

#include "app/power_guard.h"
#include "common/system_library_win32.h"

namespace {

using SetThreadExecutionStateFunction = EXECUTION_STATE(WINAPI*)(EXECUTION_STATE);

// Windows 95 has no such function: then the guard holds nothing.
SetThreadExecutionStateFunction SetExecutionState() {
  return win32::SystemFunction<SetThreadExecutionStateFunction>("kernel32.dll",
                                                                "SetThreadExecutionState");
}

}  // namespace

// The state belongs to the calling thread: the guard is taken and released
// on the thread that runs the flash.
PowerGuard PowerGuard::Take() {
  const SetThreadExecutionStateFunction set = SetExecutionState();
  if (set == nullptr || set(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) return PowerGuard();
  return PowerGuard(0);
}

void PowerGuard::Release() {
  if (lock_ < 0) return;
  lock_ = -1;
  if (const SetThreadExecutionStateFunction set = SetExecutionState()) set(ES_CONTINUOUS);
}
