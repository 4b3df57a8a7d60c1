#include "catalogue/path_text.h"

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
