// Elsewhere than on Windows the file list matches names with our own
// wildcard matcher, which follows the system's rules for "*" and "?".
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "catalogue/file_mask.h"
#include "catalogue/path_text.h"

std::vector<std::string> ListMatchingFiles(const std::string& directory, std::string_view mask) {
  std::vector<std::string> names;
  DIR* walk = opendir(directory.c_str());
  if (walk == nullptr) return names;
  while (const dirent* entry = readdir(walk)) {
    const std::string name = entry->d_name;
    if (!MatchesMask(mask, name)) continue;
    // Symbolic links count by what they point at, as a regular file or not.
    struct stat status {};
    if (stat(JoinPath(directory, name).c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
    names.push_back(name);
  }
  closedir(walk);
  std::sort(names.begin(), names.end(), NameLessNoCase);
  return names;
}
