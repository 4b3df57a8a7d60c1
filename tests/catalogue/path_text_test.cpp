// File names as text: the description file's name beside the executable,
// the chosen file's name and its place in the listed directory.
#include "catalogue/path_text.h"

#include <gtest/gtest.h>

#include "catalogue/model_catalogue.h"

namespace {

struct PathCase {
  const char* path;
  const char* modelFile;  // ModelFilePathFor
  const char* name;       // FileNamePart
};

#if defined(_WIN32)
constexpr PathCase kCases[] = {
    {"C:\\TOOLS\\FLASH.EXE", "C:\\TOOLS\\FLASH.INI", "FLASH.EXE"},
    {"C:\\A.B\\FLASH", "C:\\A.B\\FLASH.INI", "FLASH"},
    {"C:/TOOLS/SM.1.EXE", "C:/TOOLS/SM.1.INI", "SM.1.EXE"},
    {"C:FLASH.EXE", "C:FLASH.INI", "FLASH.EXE"},
    {"\\\\SERVER\\SHARE\\.EXE", "\\\\SERVER\\SHARE\\.EXE.INI", ".EXE"},
};
#else
constexpr PathCase kCases[] = {
    {"/opt/flash", "/opt/flash.INI", "flash"},
    {"/opt/flash.exe", "/opt/flash.INI", "flash.exe"},
    {"/opt/a.b/flash", "/opt/a.b/flash.INI", "flash"},
    {"/opt/.flash", "/opt/.flash.INI", ".flash"},
    {"flash.tar.gz", "flash.tar.INI", "flash.tar.gz"},
    {"/opt/back\\slash.exe", "/opt/back\\slash.INI", "back\\slash.exe"},
};
#endif

TEST(PathText, DescriptionFileAndNameOfEachPath) {
  for (const PathCase& c : kCases) {
    EXPECT_EQ(ModelFilePathFor(c.path), c.modelFile) << c.path;
    EXPECT_EQ(FileNamePart(c.path), c.name) << c.path;
  }
}

TEST(PathText, JoinPutsOneSeparatorBetween) {
#if defined(_WIN32)
  EXPECT_EQ(JoinPath("C:\\TOOLS", "SM1.BIN"), "C:\\TOOLS\\SM1.BIN");
  EXPECT_EQ(JoinPath("C:\\", "SM1.BIN"), "C:\\SM1.BIN");
  EXPECT_EQ(JoinPath("C:", "SM1.BIN"), "C:SM1.BIN");
#else
  EXPECT_EQ(JoinPath("/srv/fw", "sm1.bin"), "/srv/fw/sm1.bin");
  EXPECT_EQ(JoinPath("/", "sm1.bin"), "/sm1.bin");
#endif
  EXPECT_EQ(JoinPath("", "sm1.bin"), "sm1.bin");
}

}  // namespace
