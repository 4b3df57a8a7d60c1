// The system's text for an error code reaches the user whole: long texts
// (localized ones, and some English ones such as a sharing violation's) and
// texts that name arguments ("%1") included.
#include "device/win32_error_text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

namespace {

constexpr DWORD kLastCodeChecked = 16000;
constexpr DWORD kErrorSharingViolation = 32;

// The system's own answer, asked with room for any text.
std::optional<std::string> SystemText(DWORD code) {
  std::vector<char> text(16 * 1024);
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     text.data(), static_cast<DWORD>(text.size()), nullptr);
  if (length == 0) return std::nullopt;
  return std::string(text.data(), length);
}

// On Windows the English text of error 32 alone is longer than 80
// characters; Wine's texts are all short and name no arguments, so there
// this only shows that nothing is lost on the way.
TEST(Win32SystemErrorText, GivesEveryTextWholeLongOnesAndThoseWithInsertsIncluded) {
  int texts = 0;
  for (DWORD code = 0; code <= kLastCodeChecked; ++code) {
    const std::optional<std::string> expected = SystemText(code);
    texts += expected ? 1 : 0;
    EXPECT_EQ(Win32SystemErrorText(code), expected) << code;
  }
  EXPECT_GT(texts, 100) << "the system gave hardly any text: the comparison shows nothing";
  EXPECT_NE(Win32SystemErrorText(kErrorSharingViolation), std::nullopt);
}

TEST(Win32SystemErrorText, HasNothingForACodeWithoutText) {
  EXPECT_EQ(Win32SystemErrorText(0x2FFFFFFF), std::nullopt);
}

}  // namespace
