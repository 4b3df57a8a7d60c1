// The reader must answer like the system's profile reader; the same table can
// be run against GetPrivateProfileStringA on Windows.
#include "catalogue/ini_file.h"

#include <gtest/gtest.h>

#include "ini_cases.h"

namespace {

using ini_cases::IniCase;
using ini_cases::kCases;

class IniTable : public ::testing::TestWithParam<IniCase> {};

TEST_P(IniTable, ReadsLikeTheSystemReader) {
  const IniCase& c = GetParam();
  EXPECT_EQ(IniFile::FromText(c.text).ReadString(c.section, c.key, "FAIL"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniTable, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string n = info.param.name;
  for (char& ch : n)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
});

}  // namespace
