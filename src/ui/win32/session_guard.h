// Tells the system why it should not shut down while a run is in progress
// (shown on the shutdown screen where the system supports it).
#pragma once

#include <windows.h>

namespace win32ui {

void BlockSessionEnd(HWND window, const char* reason);
void AllowSessionEnd(HWND window);

}  // namespace win32ui
