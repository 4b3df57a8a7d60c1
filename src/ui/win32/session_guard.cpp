#include "ui/win32/session_guard.h"

#include <string>

#include "common/system_library_win32.h"

namespace win32ui {
namespace {

using CreateReasonFn = BOOL(WINAPI*)(HWND, LPCWSTR);
using DestroyReasonFn = BOOL(WINAPI*)(HWND);

// Only systems since Vista have these; older ones rely on the refused query.
template <typename Function>
Function FromUser32(const char* name) {
  return win32::SystemFunction<Function>("user32.dll", name);
}

}  // namespace

void BlockSessionEnd(HWND window, const char* reason) {
  static const auto create = FromUser32<CreateReasonFn>("ShutdownBlockReasonCreate");
  if (!create || !window) return;
  const int length = MultiByteToWideChar(CP_ACP, 0, reason, -1, nullptr, 0);
  if (length <= 0) return;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, reason, -1, wide.data(), length);
  create(window, wide.c_str());
}

void AllowSessionEnd(HWND window) {
  static const auto destroy = FromUser32<DestroyReasonFn>("ShutdownBlockReasonDestroy");
  if (destroy && window) destroy(window);
}

}  // namespace win32ui
