#include "device/win32_error_text.h"

#include <windows.h>

#include <vector>

namespace {

// Far beyond any system text, localized ones included, and well below the
// sizes FormatMessageA refuses outright (Windows above 64 KiB, Wine from
// 32 KiB on).
constexpr DWORD kSystemTextCapacity = 16 * 1024;

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
