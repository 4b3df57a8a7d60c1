// On Windows the model description file is read key by key through the
// system's own profile reader, so it reads exactly as the system reads it.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/ini_file.h"
#include "catalogue/model_catalogue.h"

namespace {

// Values of the description file are short; a longer one grows the buffer
// up to this bound, beyond which the system's reader itself cuts.
constexpr DWORD kFirstValueCapacity = 256;
constexpr DWORD kLastValueCapacity = 65536;

}  // namespace

bool IniFile::Load(const std::string& path, IniFile& out) {
  // A relative name would make the system look in the Windows directory.
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return false;
  std::string absolute(needed, '\0');
  const DWORD length = GetFullPathNameA(path.c_str(), needed, absolute.data(), nullptr);
  if (length == 0 || length >= needed) return false;
  absolute.resize(length);

  // The system's reader answers the fallback for a file it cannot read;
  // tell that apart here, where the caller can still report it.
  HANDLE file = CreateFileA(absolute.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // A pipe or a device (CON, a COM port) could keep the system's reader
  // waiting for ever: only a file on a disk is read.
  const bool onDisk = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  if (!onDisk) return false;

  out = IniFile{};
  out.systemPath_ = std::move(absolute);
  return true;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  if (systemPath_.empty()) return ReadParsed(section, key, fallback);
  const std::string sectionName(section);
  const std::string keyName(key);
  const std::string fallbackText(fallback);
  std::vector<char> value(kFirstValueCapacity);
  while (true) {
    const DWORD size = static_cast<DWORD>(value.size());
    const DWORD length =
        GetPrivateProfileStringA(sectionName.c_str(), keyName.c_str(), fallbackText.c_str(),
                                 value.data(), size, systemPath_.c_str());
    // size - 1 means the value may have been cut: read it again with more room.
    if (length + 1 < size || size >= kLastValueCapacity) {
      return std::string(value.data(), std::min<DWORD>(length, size - 1));
    }
    value.resize(static_cast<std::size_t>(size) * 2);
  }
}

bool ModelFileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
