#include "catalogue/fixed_text.h"

#include <algorithm>
#include <cstring>

namespace fixed_text {

std::string FromField(const char* field, std::size_t size) {
  const void* nul = std::memchr(field, '\0', size);
  const std::size_t length =
      nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : size;
  return std::string(field, length);
}

std::string Cut(std::string_view text, std::size_t precision) {
  // A NUL inside the text ends it, as it would for a C string.
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  return std::string(text.substr(0, precision));
}

std::string RightAligned(std::string_view text, std::size_t width, std::size_t precision) {
  std::string cut = Cut(text, precision);
  if (cut.size() < width) cut.insert(0, width - cut.size(), ' ');
  return cut;
}

std::string LeftAligned(std::string_view text, std::size_t width, std::size_t precision) {
  std::string cut = Cut(text, precision);
  if (cut.size() < width) cut.append(width - cut.size(), ' ');
  return cut;
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  });
  return upper;
}

}  // namespace fixed_text
