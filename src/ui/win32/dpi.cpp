#include "ui/win32/dpi.h"

#include "ui/win32/window_layout.h"

namespace win32ui {
namespace {

template <typename Function>
Function Lookup(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  if (!handle) handle = LoadLibraryA(module);  // shcore is not always loaded
  if (!handle) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

using SetContextFn = BOOL(WINAPI*)(HANDLE);
using SetAwarenessFn = HRESULT(WINAPI*)(int);
using SetAwareFn = BOOL(WINAPI*)();
using DpiForWindowFn = UINT(WINAPI*)(HWND);
using DpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 and PROCESS_PER_MONITOR_DPI_AWARE,
// spelled out because older headers lack them.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
constexpr int kProcessPerMonitorAware = 2;
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

}  // namespace

void BecomePerMonitorDpiAware() {
  if (auto set = Lookup<SetContextFn>("user32.dll", "SetProcessDpiAwarenessContext")) {
    if (set(kPerMonitorAwareV2)) return;
    if (GetLastError() == ERROR_ACCESS_DENIED) return;  // already set, by the manifest
  }
  if (auto set = Lookup<SetAwarenessFn>("shcore.dll", "SetProcessDpiAwareness")) {
    set(kProcessPerMonitorAware);
    return;
  }
  if (auto set = Lookup<SetAwareFn>("user32.dll", "SetProcessDPIAware")) set();
}

unsigned WindowDpi(HWND window) {
  static const auto forWindow = Lookup<DpiForWindowFn>("user32.dll", "GetDpiForWindow");
  if (forWindow && window) {
    if (const UINT dpi = forWindow(window)) return dpi;
  }
  static const auto forMonitor = Lookup<DpiForMonitorFn>("shcore.dll", "GetDpiForMonitor");
  if (forMonitor && window) {
    UINT x = 0;
    UINT y = 0;
    HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (SUCCEEDED(forMonitor(monitor, kEffectiveDpi, &x, &y)) && y) return y;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<unsigned>(dpi) : kDesignDpi;
}

RECT WindowRectForClient(RECT client, DWORD style, DWORD exStyle, unsigned dpi) {
  static const auto adjust = Lookup<AdjustForDpiFn>("user32.dll", "AdjustWindowRectExForDpi");
  if (!adjust || !adjust(&client, style, FALSE, exStyle, dpi)) {
    AdjustWindowRectEx(&client, style, FALSE, exStyle);
  }
  return client;
}

}  // namespace win32ui
