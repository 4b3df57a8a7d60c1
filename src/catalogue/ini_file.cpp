#include "catalogue/ini_file.h"

#include <array>
#include <fstream>
#include <system_error>

#include "common/fixed_text.h"

namespace {

using fixed_text::LowerAscii;

// Far beyond any description file (a hundred full sections take some tens of
// kilobytes); a larger file is refused rather than loaded into memory.
constexpr std::uintmax_t kMaxFileBytes = 16U << 20U;
constexpr std::size_t kReadChunk = 4096;

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
  IniFile ini;
  Section* current = nullptr;  // keys before any section belong to none
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    std::string_view line = Trim(text.substr(0, eol));
    text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string_view name = Trim(
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      ini.sections_.push_back({std::string(name), {}});
      current = &ini.sections_.back();
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || current == nullptr) continue;
    const std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) continue;
    current->entries.push_back({std::string(key), std::string(Unquote(Trim(line.substr(eq + 1))))});
  }
  return ini;
}

bool IniFile::Load(const std::filesystem::path& path, IniFile& out) {
  // Only a regular file is opened: a FIFO would block start-up until some
  // writer came, a device might never end.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxFileBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  // istream::read turns a failing read into a stream state; reading through
  // the buffer directly would let the library's exception escape instead.
  std::string text;
  std::array<char, kReadChunk> chunk{};
  while (text.size() <= kMaxFileBytes) {
    in.read(chunk.data(), chunk.size());
    text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    if (!in) break;
  }
  if (in.bad() || text.size() > kMaxFileBytes) return false;
  out = FromText(text);
  return true;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  for (const Section& s : sections_) {
    if (!EqualsNoCase(s.name, section)) continue;
    for (const Entry& e : s.entries) {
      if (EqualsNoCase(e.key, key)) return e.value;
    }
    break;  // only the first section of that name is consulted
  }
  return std::string(fallback);
}
