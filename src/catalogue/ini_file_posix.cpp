// Elsewhere than on Windows the model description file is read with our own
// reader, which answers the way the system's profile reader does.
#include <array>
#include <fstream>
#include <system_error>

#include "catalogue/ini_file.h"

namespace {

// Far beyond any description file (a hundred full sections take some tens of
// kilobytes); a larger file is refused rather than loaded into memory.
constexpr std::uintmax_t kMaxFileBytes = 16U << 20U;
constexpr std::size_t kReadChunk = 4096;

}  // namespace

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
  return ReadParsed(section, key, fallback);
}
