// Elsewhere than on Windows the model description file is read with our own
// reader, which answers the way the system's profile reader does.
#include <fstream>
#include <iterator>

#include "catalogue/ini_file.h"

bool IniFile::Load(const std::filesystem::path& path, IniFile& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  out = FromText(text);
  return true;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  return ReadParsed(section, key, fallback);
}
