// On Windows the file list is what the system's own wildcard matching finds:
// one FindFirstFileA walk per pattern of the mask.
#include <windows.h>

#include <algorithm>

#include "catalogue/file_mask.h"

namespace {

// A pattern names files of the listed directory only; one that reaches
// elsewhere would list names the builder then looks for in the wrong place.
bool StaysInDirectory(const std::string& pattern) {
  return pattern.find_first_of("\\/:") == std::string::npos;
}

void AddMatches(const std::string& directory, const std::string& pattern,
                std::vector<std::string>& names) {
  const std::string query = directory.empty() || directory.back() == '\\' || directory.back() == '/'
                                ? directory + pattern
                                : directory + '\\' + pattern;
  WIN32_FIND_DATAA found{};
  HANDLE walk = FindFirstFileA(query.c_str(), &found);
  if (walk == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    names.emplace_back(found.cFileName);
  } while (FindNextFileA(walk, &found) != 0);
  FindClose(walk);
}

}  // namespace

std::vector<std::string> ListMatchingFiles(const std::string& directory, std::string_view mask) {
  std::vector<std::string> names;
  for (const std::string& pattern : MaskPatterns(mask)) {
    if (StaysInDirectory(pattern)) AddMatches(directory, pattern, names);
  }
  // A file that several patterns match is listed once.
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  std::stable_sort(names.begin(), names.end(), NameLessNoCase);
  return names;
}
