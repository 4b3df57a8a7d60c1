// Revisions and identifications compare byte by byte as unsigned values; a
// text that starts a longer one is the lesser.
#pragma once

#include <algorithm>
#include <string>

inline bool OrdinalLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}
