// The file list of builder mode: the regular files of one directory whose
// names match a ";"-separated list of "*"/"?" wildcards, without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

bool MatchesWildcard(std::string_view pattern, std::string_view name);
// The mask's patterns, blanks around each trimmed, empty ones left out.
std::vector<std::string> MaskPatterns(std::string_view mask);
// File list order: by name without regard to case.
bool NameLessNoCase(const std::string& a, const std::string& b);
bool MatchesMask(std::string_view mask, std::string_view name);

// Names (without directory) of the matching regular files, each once, sorted
// by name without regard to case. An unreadable directory gives an empty
// list. Defined per platform: on Windows the system's own matching decides.
std::vector<std::string> ListMatchingFiles(const std::string& directory, std::string_view mask);
