// A reader for Windows initialization files that answers the way
// GetPrivateProfileStringA does, so the model description file reads the same
// on every platform.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

class IniFile {
 public:
  // Parses the text; never fails (lines it cannot use are ignored).
  static IniFile FromText(std::string_view text);
  // False, with `out` untouched, unless `path` is a regular file that can be
  // read whole; never waits on a FIFO or a device.
  static bool Load(const std::filesystem::path& path, IniFile& out);

  // The value of the first `key` in the first section named `section`
  // (names compared without regard to case), or `fallback`.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  std::vector<Section> sections_;
};
