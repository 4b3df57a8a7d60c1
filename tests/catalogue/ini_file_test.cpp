// Our reader must answer like the system's profile reader. The table runs
// against our reader over text and against the platform's reader over a file:
// on Windows that is GetPrivateProfileStringA, so both agree case by case.
#include "catalogue/ini_file.h"

#include <gtest/gtest.h>

#include "ini_cases.h"
#include "support/temp_dir.h"

namespace {

using ini_cases::IniCase;
using ini_cases::kCases;

class IniTable : public ::testing::TestWithParam<IniCase> {};

TEST_P(IniTable, ReadsLikeTheSystemReader) {
  const IniCase& c = GetParam();
  EXPECT_EQ(IniFile::FromText(c.text).ReadString(c.section, c.key, "FAIL"), c.expected);
}

TEST_P(IniTable, FileReadsTheSameThroughThePlatformReader) {
  const IniCase& c = GetParam();
  TempDir dir;
  IniFile ini;
  ASSERT_TRUE(IniFile::Load(dir.Write("case.ini", c.text).string(), ini));
  EXPECT_EQ(ini.ReadString(c.section, c.key, "FAIL"), c.expected);
}

TEST(IniFileLoad, UnreadableFileIsRefused) {
  TempDir dir;
  IniFile ini;
  EXPECT_FALSE(IniFile::Load((dir.path() / "missing.INI").string(), ini));
}

INSTANTIATE_TEST_SUITE_P(Cases, IniTable, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string n = info.param.name;
  for (char& ch : n)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
});

}  // namespace
