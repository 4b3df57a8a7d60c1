#include "catalogue/file_mask.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

struct MaskCase {
  const char* mask;
  const char* name;
  bool matches;
};

TEST(FileMask, WildcardsWithoutRegardToCase) {
  // The last cases: a Linux name may hold a "*", which must not use up the pattern's "*".
  const MaskCase cases[] = {
      {"*.*", "README", true},  // every file, with or without an extension
      {"*.bin", "FW.BIN", true},
      {"*.bin", "fw.bin.bak", false},
      {"fw??.bin", "fw12.bin", true},
      {"fw??.bin", "fw1.bin", false},
      {"*a*b*", "xxaYYbzz", true},
      {"*a*b", "abab", true},
      {"*a*b", "abba", false},
      {"*.bin;*.hex", "x.hex", true},
      {"*.bin; *.hex", "x.hex", true},
      {"*.bin;;", "x.bin", true},
      {"*.bin", "x.hex", false},
      {"", "x", false},
      {"SM*.bin", "SM*1.bin", true},
      {"*", "**", true},
      {"a*", "a*b", true},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(MatchesMask(c.mask, c.name), c.matches) << c.mask << " vs " << c.name;
  }
}

TEST(FileMask, ListsRegularFilesSortedWithoutRegardToCase) {
  TempDir dir;
  for (const char* name : {"b.bin", "A.BIN", "c.hex", "a2.bin", "notes.txt"}) dir.Write(name, "x");
  std::filesystem::create_directory(dir.path() / "dir.bin");
  EXPECT_EQ(ListMatchingFiles(dir.path().string(), "*.bin;*.hex"),
            (std::vector<std::string>{"A.BIN", "a2.bin", "b.bin", "c.hex"}));
  // A file that several patterns match is listed once.
  EXPECT_EQ(ListMatchingFiles(dir.path().string(), "*.bin; a*;*.BIN"),
            (std::vector<std::string>{"A.BIN", "a2.bin", "b.bin"}));
  EXPECT_TRUE(ListMatchingFiles((dir.path() / "missing").string(), "*.*").empty());
}

}  // namespace
