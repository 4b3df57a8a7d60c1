// Width-limited text formatting, the way printf's "%W.Ps" does it. Record
// fields and drive identifications are always cut and padded this way, so the
// texts compared later have known lengths.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fixed_text {

// The text of a fixed field: its bytes up to the first NUL, never past size.
std::string FromField(const char* field, std::size_t size);

// "%W.Ps": at most `precision` characters, padded with spaces on the left to `width`.
std::string RightAligned(std::string_view text, std::size_t width, std::size_t precision);

// "%-W.Ps": at most `precision` characters, padded with spaces on the right to `width`.
std::string LeftAligned(std::string_view text, std::size_t width, std::size_t precision);

// "%.Ps": at most `precision` characters, no padding.
std::string Cut(std::string_view text, std::size_t precision);

// ASCII upper case, as the original tool's character handling does it.
std::string UpperAscii(std::string_view text);

}  // namespace fixed_text
