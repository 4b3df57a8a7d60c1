// A stand-in for a system DLL (shcore.dll, uxtheme.dll, ...) that the marker
// test plants beside the program. Whoever loads it leaves a file beside it,
// NAME.dll.loaded, with one line per loading process: that process's path and
// whether the loader took the DLL for an import table, before the program
// ran ("static"), or for a run-time load ("dynamic"). It exports nothing, so
// a program that then looks up a function in it takes the path it takes when
// the system lacks the function.
#include <windows.h>

namespace {

void Record(HINSTANCE self, bool atStart) {
  char marker[MAX_PATH + 8];
  const DWORD length = GetModuleFileNameA(self, marker, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  lstrcpyA(marker + length, ".loaded");
  char line[MAX_PATH + 16];
  DWORD lineLength = GetModuleFileNameA(nullptr, line, MAX_PATH);
  if (lineLength >= MAX_PATH) lineLength = 0;
  lstrcpyA(line + lineLength, atStart ? " (static)\r\n" : " (dynamic)\r\n");
  HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

// For DLL_PROCESS_ATTACH the system passes a non-null `reserved` when the DLL
// is loaded with the program's imports, null for LoadLibrary.
extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) Record(self, reserved != nullptr);
  return TRUE;
}
