// A reader for Windows initialization files that answers the way
// GetPrivateProfileStringA does, so the model description file reads the same
// on every platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class IniFile {
 public:
  // Parses the text with our own reader; never fails (lines it cannot use
  // are ignored).
  static IniFile FromText(std::string_view text);
  // Opens the file for the platform's reader: on Windows the system's own
  // (GetPrivateProfileStringA, key by key), elsewhere ours over its text.
  // False, with `out` untouched, unless `path` is a regular file that can be
  // read; never waits on a FIFO or a device.
  static bool Load(const std::string& path, IniFile& out);

  // The value of the first `key` in the first section named `section`
  // (names compared without regard to case), or `fallback`.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;

 private:
  std::string ReadParsed(std::string_view section, std::string_view key,
                         std::string_view fallback) const;

  struct Entry {
    std::string key;
    std::string value;
    bool hasValue = true;  // false for a line without "="
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  std::vector<Section> sections_;
#if defined(_WIN32)
  std::string systemPath_;  // absolute; empty for text parsed by FromText
#endif
};
