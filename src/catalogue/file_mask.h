// The file list of builder mode: the regular files of one directory whose
// names match a ";"-separated list of "*"/"?" wildcards, without regard to case.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

bool MatchesWildcard(std::string_view pattern, std::string_view name);
bool MatchesMask(std::string_view mask, std::string_view name);

// Names (without directory) of the matching regular files, sorted by name
// without regard to case. An unreadable directory gives an empty list.
std::vector<std::string> ListMatchingFiles(const std::filesystem::path& directory,
                                           std::string_view mask);
