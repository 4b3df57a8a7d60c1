#include "device/win32_error_text.h"

#include <windows.h>

namespace {
constexpr DWORD kSystemTextCapacity = 80;
}  // namespace

std::optional<std::string> Win32SystemErrorText(std::uint32_t errorCode) {
  char text[kSystemTextCapacity] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, errorCode, 0, text,
                                      kSystemTextCapacity, nullptr);
  if (length == 0) {
    return std::nullopt;
  }
  return std::string(text, length);
}
