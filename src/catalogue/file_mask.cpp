#include "catalogue/file_mask.h"

#include <algorithm>

#include "common/fixed_text.h"

namespace {

using fixed_text::LowerAscii;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

bool NameLessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
  });
}

std::vector<std::string> MaskPatterns(std::string_view mask) {
  std::vector<std::string> patterns;
  while (true) {
    const std::size_t semi = mask.find(';');
    const std::string_view pattern = TrimBlanks(mask.substr(0, semi));
    if (!pattern.empty()) patterns.emplace_back(pattern);
    if (semi == std::string_view::npos) return patterns;
    mask.remove_prefix(semi + 1);
  }
}

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;  // the DOS spelling of "every file"
  // Iterative match with one backtrack point for the last "*".
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  // A "*" is a wildcard even where the name holds a "*" (Linux allows one):
  // taking it as a literal first would lose the backtrack point.
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
      ++p;
      ++n;
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
  const std::vector<std::string> patterns = MaskPatterns(mask);
  return std::any_of(patterns.begin(), patterns.end(),
                     [name](const std::string& pattern) { return MatchesWildcard(pattern, name); });
}
