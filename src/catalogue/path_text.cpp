#include "catalogue/path_text.h"

#include <algorithm>

namespace {

#if defined(_WIN32)
constexpr char kPreferredSeparator = '\\';
#else
constexpr char kPreferredSeparator = '/';
#endif

std::size_t FileNameStart(std::string_view path) {
  std::size_t start = path.size();
  while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
  return start;
}

#if !defined(_WIN32)
// The length of the well-formed UTF-8 sequence at the start of `text`
// (no overlong forms, surrogates or values past U+10FFFF), or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;  // the bounds of the second byte
  unsigned char high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}
#endif

}  // namespace

bool IsPathSeparator(char c) {
#if defined(_WIN32)
  return c == '\\' || c == '/' || c == ':';
#else
  return c == '/';
#endif
}

std::string FileNamePart(std::string_view path) {
  return std::string(path.substr(FileNameStart(path)));
}

std::string JoinPath(std::string_view directory, std::string_view name) {
  std::string joined(directory);
  if (!joined.empty() && !IsPathSeparator(joined.back())) joined += kPreferredSeparator;
  joined += name;
  return joined;
}

std::string ReplaceExtension(std::string_view path, std::string_view extension) {
  const std::size_t nameStart = FileNameStart(path);
  const std::string_view name = path.substr(nameStart);
  std::size_t end = path.size();
  // "." and ".." are no names with an extension, nor is a name whose only
  // dot is its first character.
  if (name != "." && name != "..") {
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) end = nameStart + dot;
  }
  std::string result(path.substr(0, end));
  result += extension;
  return result;
}

std::size_t LeadingCharactersLength(std::string_view text, std::size_t count) {
#if defined(_WIN32)
  return std::min(text.size(), count);
#else
  std::size_t at = 0;
  for (std::size_t taken = 0; taken < count && at < text.size(); ++taken) {
    at += std::max<std::size_t>(Utf8SequenceLength(text.substr(at)), 1);
  }
  return at;
#endif
}
