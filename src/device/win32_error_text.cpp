#include "device/win32_error_text.h"

#include <windows.h>

#include <vector>

namespace {

// FormatMessageA writes at most 64 KiB; a system text never needs more, and
// a localized one easily needs more than a line.
constexpr DWORD kSystemTextCapacity = 64 * 1024;

}  // namespace

std::optional<std::string> Win32SystemErrorText(std::uint32_t errorCode) {
  std::vector<char> text(kSystemTextCapacity, '\0');
  // Texts such as "... %1 ..." name arguments this call has none for: without
  // IGNORE_INSERTS the system would read arguments that are not there.
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, errorCode,
                     0, text.data(), kSystemTextCapacity, nullptr);
  if (length == 0) {
    return std::nullopt;
  }
  return std::string(text.data(), length);
}
