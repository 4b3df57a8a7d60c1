// Per-monitor DPI support. The newer calls are looked up at run time, so the
// program still starts on systems that predate them (they then get 96 or
// the one system-wide DPI).
#pragma once

#include <windows.h>

namespace win32ui {

// For the case that the manifest's awareness setting was not honoured.
void BecomePerMonitorDpiAware();

// The DPI the window is shown at: its monitor's where the system knows it.
unsigned WindowDpi(HWND window);

// The window rectangle around `client` for the style, at the DPI.
RECT WindowRectForClient(RECT client, DWORD style, DWORD exStyle, unsigned dpi);

}  // namespace win32ui
