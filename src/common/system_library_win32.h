// Functions the program finds at run time: what newer Windows releases offer
// and older ones lack. Every lookup goes through here, and a DLL is taken
// only from the system directory: never from the program's own folder (often
// a download folder) nor the working directory, where a planted DLL would
// run with the administrator rights the program asks for.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// LOAD_LIBRARY_SEARCH_SYSTEM32, spelled out because the headers of the
// systems this targets lack it; understood where kernel32 has AddDllDirectory
// (Windows 8, and Vista and 7 with the update that added both).
inline constexpr DWORD kSearchSystem32Only = 0x00000800;

// The system DLL `name` ("shcore.dll"): the module the process already
// holds, or one loaded from the system directory; null where the system has
// no such DLL.
inline HMODULE SystemLibrary(const char* name) {
  if (HMODULE loaded = GetModuleHandleA(name)) return loaded;
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr) {
    return LoadLibraryExA(name, nullptr, kSearchSystem32Only);
  }
  // Older systems: by full path, its own dependencies searched there too.
  char directory[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::string path(directory, length);
  if (path.back() != '\\') path += '\\';
  path += name;
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The entry `name` of `module` as its real type, or null. The detour through
// a parameterless function type is the one such cast the compiler accepts.
template <typename Function>
Function LibraryFunction(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The entry `name` of the system DLL `library`, or null where this system
// lacks either.
template <typename Function>
Function SystemFunction(const char* library, const char* name) {
  return LibraryFunction<Function>(SystemLibrary(library), name);
}

}  // namespace win32
