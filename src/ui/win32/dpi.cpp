#include "ui/win32/dpi.h"

#include "common/system_library_win32.h"
#include "ui/win32/window_layout.h"

namespace win32ui {
namespace {

using win32::SystemFunction;

using SetContextFn = BOOL(WINAPI*)(HANDLE);
using SetAwarenessFn = HRESULT(WINAPI*)(int);
using SetAwareFn = BOOL(WINAPI*)();
using DpiForWindowFn = UINT(WINAPI*)(HWND);
using DpiForMonitorFn = HRESULT(WINAPI*)(HANDLE, int, UINT*, UINT*);
using MonitorFromWindowFn = HANDLE(WINAPI*)(HWND, DWORD);
using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 and PROCESS_PER_MONITOR_DPI_AWARE,
// spelled out because older headers lack them.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
constexpr int kProcessPerMonitorAware = 2;
constexpr int kEffectiveDpi = 0;               // MDT_EFFECTIVE_DPI
constexpr DWORD kNearestMonitor = 0x00000002;  // MONITOR_DEFAULTTONEAREST

}  // namespace

void BecomePerMonitorDpiAware() {
  if (auto set = SystemFunction<SetContextFn>("user32.dll", "SetProcessDpiAwarenessContext")) {
    if (set(kPerMonitorAwareV2)) return;
    if (GetLastError() == ERROR_ACCESS_DENIED) return;  // already set, by the manifest
  }
  if (auto set = SystemFunction<SetAwarenessFn>("shcore.dll", "SetProcessDpiAwareness")) {
    set(kProcessPerMonitorAware);
    return;
  }
  if (auto set = SystemFunction<SetAwareFn>("user32.dll", "SetProcessDPIAware")) set();
}

unsigned WindowDpi(HWND window) {
  static const auto forWindow = SystemFunction<DpiForWindowFn>("user32.dll", "GetDpiForWindow");
  if (forWindow && window) {
    if (const UINT dpi = forWindow(window)) return dpi;
  }
  // Monitors came with Windows 98 and 2000, per-monitor DPI with 8.1.
  static const auto monitorOf =
      SystemFunction<MonitorFromWindowFn>("user32.dll", "MonitorFromWindow");
  static const auto forMonitor =
      monitorOf ? SystemFunction<DpiForMonitorFn>("shcore.dll", "GetDpiForMonitor") : nullptr;
  if (forMonitor && window) {
    UINT x = 0;
    UINT y = 0;
    HANDLE monitor = monitorOf(window, kNearestMonitor);
    if (monitor && SUCCEEDED(forMonitor(monitor, kEffectiveDpi, &x, &y)) && y) return y;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : kDesignDpi;
}

RECT WindowRectForClient(RECT client, DWORD style, DWORD exStyle, unsigned dpi) {
  static const auto adjust =
      SystemFunction<AdjustForDpiFn>("user32.dll", "AdjustWindowRectExForDpi");
  if (!adjust || !adjust(&client, style, FALSE, exStyle, dpi)) {
    AdjustWindowRectEx(&client, style, FALSE, exStyle);
  }
  return client;
}

}  // namespace win32ui
