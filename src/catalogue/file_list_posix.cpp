// Elsewhere than on Windows the file list matches names with our own
// wildcard matcher, which follows the system's rules for "*" and "?".
#include <algorithm>
#include <system_error>

#include "catalogue/file_mask.h"

std::vector<std::string> ListMatchingFiles(const std::filesystem::path& directory,
                                           std::string_view mask) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    std::string name = it->path().filename().string();
    if (MatchesMask(mask, name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), NameLessNoCase);
  return names;
}
