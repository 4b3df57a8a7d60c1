#include <windows.h>

#include <atomic>

#include "app/run_guard.h"

namespace {

// One hold for the process, however many guards nest.
std::atomic<int> g_depth{0};
std::atomic<bool> g_endRequested{false};
// Set while no run is in progress, so a held console close can go on.
HANDLE g_runOver = nullptr;

// Runs on a thread the system starts for each console event.
BOOL WINAPI RefuseDuringRun(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      g_endRequested = true;
      return TRUE;  // refused; the program ends when the run is over
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process as soon as this returns, so it returns
      // only once the run is over (or when the system's own patience ends).
      g_endRequested = true;
      if (g_runOver != nullptr) WaitForSingleObject(g_runOver, INFINITE);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

RunGuard::RunGuard() {
  if (g_depth++ != 0) return;
  if (g_runOver == nullptr) g_runOver = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  if (g_runOver != nullptr) ResetEvent(g_runOver);
  g_endRequested = false;
  SetConsoleCtrlHandler(RefuseDuringRun, TRUE);
}

RunGuard::~RunGuard() { End(); }

bool RunGuard::End() {
  if (ended_) return mayGoOn_;
  ended_ = true;
  if (--g_depth != 0) return mayGoOn_;
  mayGoOn_ = !g_endRequested.exchange(false);
  SetConsoleCtrlHandler(RefuseDuringRun, FALSE);
  // A console close held until now goes on: the process ends.
  if (g_runOver != nullptr) SetEvent(g_runOver);
  return mayGoOn_;
}
