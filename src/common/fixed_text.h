// Width-limited text formatting, the way printf's "%W.Ps" does it. Record
// fields and drive identifications are always cut and padded this way, so the
// texts compared later have known lengths. Shared by every layer that reads
// fixed fields, so each rule is written once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace fixed_text {

// ASCII case mapping only: names and identifications are 8-bit texts whose
// other bytes must compare as they are, whatever the C locale says.
constexpr char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return UpperAscii(c); });
  return upper;
}

// The text of a fixed field: its bytes up to the first NUL, never past size.
inline std::string FromField(const char* field, std::size_t size) {
  const void* nul = std::memchr(field, '\0', size);
  const std::size_t length =
      nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : size;
  return {field, length};
}

// "%.Ps": at most `precision` characters, no padding. A NUL inside the text
// ends it, as it would for a C string.
inline std::string Cut(std::string_view text, std::size_t precision) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  return std::string(text.substr(0, precision));
}

// "%W.Ps": at most `precision` characters, padded with spaces on the left to `width`.
inline std::string RightAligned(std::string_view text, std::size_t width, std::size_t precision) {
  std::string cut = Cut(text, precision);
  if (cut.size() < width) cut.insert(0, width - cut.size(), ' ');
  return cut;
}

// "%-W.Ps": at most `precision` characters, padded with spaces on the right to `width`.
inline std::string LeftAligned(std::string_view text, std::size_t width, std::size_t precision) {
  std::string cut = Cut(text, precision);
  if (cut.size() < width) cut.append(width - cut.size(), ' ');
  return cut;
}

}  // namespace fixed_text
