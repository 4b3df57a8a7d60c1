#include "catalogue/file_mask.h"

#include <algorithm>
#include <system_error>

#include "common/fixed_text.h"

namespace {

using fixed_text::LowerAscii;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
  });
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;  // the DOS spelling of "every file"
  // Iterative match with one backtrack point for the last "*".
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool MatchesMask(std::string_view mask, std::string_view name) {
  while (true) {
    const std::size_t semi = mask.find(';');
    const std::string_view pattern = TrimBlanks(mask.substr(0, semi));
    if (!pattern.empty() && MatchesWildcard(pattern, name)) return true;
    if (semi == std::string_view::npos) return false;
    mask.remove_prefix(semi + 1);
  }
}

std::vector<std::string> ListMatchingFiles(const std::filesystem::path& directory,
                                           std::string_view mask) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    std::string name = it->path().filename().string();
    if (MatchesMask(mask, name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}
