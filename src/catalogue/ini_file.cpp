#include "catalogue/ini_file.h"

#include "common/fixed_text.h"

namespace {

using fixed_text::LowerAscii;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// One pair of matching quotes around a value is removed, as the system reader does.
std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

}  // namespace

IniFile IniFile::FromText(std::string_view text) {
  // A UTF-8 byte order mark, as editors write it, is no part of the first
  // line: the system's reader skips it too, so the first section is read.
  constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  IniFile ini;
  Section* current = nullptr;  // keys before any section belong to none
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    std::string_view line = Trim(text.substr(0, eol));
    text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);

    if (line.empty() || line.front() == ';') continue;
    const std::size_t close = line.front() == '[' ? line.find(']') : std::string_view::npos;
    if (close != std::string_view::npos) {
      ini.sections_.push_back({std::string(Trim(line.substr(1, close - 1))), {}});
      current = &ini.sections_.back();
      continue;
    }
    // A "[" without its "]" starts no section: the system reads it as a key line.
    if (current == nullptr) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      // The system's reader keeps such a line as a key without a value: it
      // answers the fallback and hides a later key of the same name.
      current->entries.push_back({std::string(line), std::string(), false});
      continue;
    }
    const std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) continue;
    current->entries.push_back(
        {std::string(key), std::string(Unquote(Trim(line.substr(eq + 1)))), true});
  }
  return ini;
}

std::string IniFile::ReadParsed(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  for (const Section& s : sections_) {
    if (!EqualsNoCase(s.name, section)) continue;
    for (const Entry& e : s.entries) {
      if (EqualsNoCase(e.key, key)) return e.hasValue ? e.value : std::string(fallback);
    }
    break;  // only the first section of that name is consulted
  }
  return std::string(fallback);
}
