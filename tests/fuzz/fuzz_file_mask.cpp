// The firmware file mask over arbitrary masks and names, against a plain
// table-driven matcher. Input: the mask, a line break, the name.
#include <string>
#include <vector>

#include "catalogue/file_mask.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t kMaxLength = 96;  // keeps the reference matcher cheap

// Dynamic programming over (pattern prefix, name prefix): slow, but plainly right.
bool ReferenceMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;
  std::vector<std::vector<bool>> m(pattern.size() + 1, std::vector<bool>(name.size() + 1));
  m[0][0] = true;
  for (std::size_t p = 1; p <= pattern.size(); ++p) {
    const char pc = pattern[p - 1];
    m[p][0] = pc == '*' && m[p - 1][0];
    for (std::size_t n = 1; n <= name.size(); ++n) {
      if (pc == '*') {
        m[p][n] = m[p - 1][n] || m[p][n - 1];
      } else {
        m[p][n] = m[p - 1][n - 1] &&
                  (pc == '?' || fixed_text::LowerAscii(pc) == fixed_text::LowerAscii(name[n - 1]));
      }
    }
  }
  return m[pattern.size()][name.size()];
}

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::string mask = in.Until('\n');
  const std::string name = in.Rest();
  if (mask.size() > kMaxLength || name.size() > kMaxLength) return 0;

  bool anyPiece = false;
  std::string_view rest = mask;
  while (true) {
    const std::size_t semi = rest.find(';');
    const std::string_view piece = TrimSpaces(rest.substr(0, semi));
    const bool match = !piece.empty() && ReferenceMatch(piece, name);
    if (!piece.empty()) FUZZ_CHECK(MatchesWildcard(piece, name) == match);
    anyPiece = anyPiece || match;
    if (semi == std::string_view::npos) break;
    rest.remove_prefix(semi + 1);
  }
  FUZZ_CHECK(MatchesMask(mask, name) == anyPiece);

  FUZZ_CHECK(MatchesWildcard("*.*", name));
  FUZZ_CHECK(MatchesWildcard("*", name));
  FUZZ_CHECK(MatchesMask(mask + ";*.*", name));
  if (name.find_first_of("*?") == std::string::npos) {
    FUZZ_CHECK(MatchesWildcard(fuzz::Upper(name), fuzz::Lower(name)));
  }
  return 0;
}
