// Elsewhere than on Windows the model description file is read with our own
// reader, which answers the way the system's profile reader does.
#include <sys/stat.h>

#include <cstdint>

#include "catalogue/build_file.h"
#include "catalogue/ini_file.h"
#include "catalogue/model_catalogue.h"

namespace {

// Far beyond any description file (a hundred full sections take some tens of
// kilobytes); a larger file is refused rather than loaded into memory.
constexpr std::uint64_t kMaxFileBytes = 16U << 20U;

}  // namespace

bool IniFile::Load(const std::string& path, IniFile& out) {
  // The build's reader opens without waiting and reads a regular file only:
  // a FIFO would block start-up until some writer came, a device might never
  // end.
  build_file::LoadedFile file;
  if (!build_file::LoadFile(path, kMaxFileBytes, file) || file.length > kMaxFileBytes) return false;
  out = FromText(std::string(file.bytes.begin(), file.bytes.end()));
  return true;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  return ReadParsed(section, key, fallback);
}

bool ModelFileExists(const std::string& path) {
  // A path that cannot be looked at counts as missing.
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}
