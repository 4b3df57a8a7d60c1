// The model description file reader over arbitrary text. Input: the section
// to look up, a line break, the key, a line break, a value, a line break, and
// the file's text.
#include <string>
#include <vector>

#include "catalogue/ini_file.h"
#include "fuzz_support.h"

namespace {

constexpr char kFallback[] = "\x01no such key\x01";
constexpr std::size_t kMaxNames = 8;

std::string Clean(std::string s, std::string_view drop) {
  std::erase_if(s, [&](char c) { return drop.find(c) != std::string_view::npos; });
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.back())) s.pop_back();
  while (!s.empty() && blank(s.front())) s.erase(0, 1);
  return s;
}

std::size_t LongestLine(std::string_view text) {
  std::size_t longest = 0;
  while (true) {
    const std::size_t eol = text.find('\n');
    longest = std::max(longest, text.substr(0, eol).size());
    if (eol == std::string_view::npos) return longest;
    text.remove_prefix(eol + 1);
  }
}

// Names the text itself uses, so that lookups also hit what is there.
void CollectNames(std::string_view text, std::vector<std::string>& sections,
                  std::vector<std::string>& keys) {
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    const std::string line = Clean(std::string(text.substr(0, eol)), "\r");
    text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
    if (!line.empty() && line.front() == '[' && sections.size() < kMaxNames) {
      sections.push_back(Clean(line.substr(1, line.find(']') - 1), ""));
    } else if (const std::size_t eq = line.find('=');
               eq != std::string::npos && keys.size() < kMaxNames) {
      keys.push_back(Clean(line.substr(0, eq), ""));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::string section = Clean(in.Until('\n'), "\r]");
  const std::string key = Clean(in.Until('\n'), "\r=");
  const std::string value = Clean(in.Until('\n'), "\r");
  const std::string text = in.Rest();

  // Whatever the text holds, a value comes from one of its lines.
  const IniFile ini = IniFile::FromText(text);
  std::vector<std::string> sections{section}, keys{key};
  CollectNames(text, sections, keys);
  const std::size_t longest = LongestLine(text);
  for (const std::string& s : sections) {
    for (const std::string& k : keys) {
      const std::string found = ini.ReadString(s, k, kFallback);
      if (found == kFallback) continue;
      FUZZ_CHECK(found.size() <= longest);
      FUZZ_CHECK(found.find('\n') == std::string::npos);
      FUZZ_CHECK(text.find(found) != std::string::npos);
      // Names match without regard to case.
      FUZZ_CHECK(ini.ReadString(fuzz::Upper(s), fuzz::Lower(k), kFallback) == found);
    }
  }
  // No section can be named by a line break: the fallback comes back whole.
  FUZZ_CHECK(ini.ReadString("\n", key, kFallback) == kFallback);

  // A section and key written first are read back, whatever follows them.
  const bool usableKey = !key.empty() && key.front() != ';' && key.front() != '[';
  if (usableKey) {
    const IniFile written =
        IniFile::FromText("[" + section + "]\n" + key + "=" + value + "\n" + text);
    std::string expected = value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      expected = value.substr(1, value.size() - 2);
    }
    FUZZ_CHECK(written.ReadString(section, key, kFallback) == expected);
  }
  return 0;
}
