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

// The common controls. Version 6, which the manifest asks for, lives in the
// side-by-side store, which only a load by name reaches; systems that have
// that store (activation contexts: XP and later) resolve the name there
// before any folder is searched. Older systems have one comctl32, in the
// system directory. comctl32 loads uxtheme and dwmapi by name itself, which
// would look beside the program first on systems without the
// system-directory-only search; taking them from the system directory
// beforehand leaves that search nothing to do, as a module of that name is
// then already loaded.
inline HMODULE CommonControlsLibrary() {
  if (HMODULE loaded = GetModuleHandleA("comctl32.dll")) return loaded;
  SystemLibrary("uxtheme.dll");  // absent before XP, and then not needed
  SystemLibrary("dwmapi.dll");   // absent before Vista
  if (SystemFunction<void (*)()>("kernel32.dll", "ActivateActCtx") != nullptr) {
    return LoadLibraryA("comctl32.dll");
  }
  return SystemLibrary("comctl32.dll");
}

}  // namespace win32
