#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <fstream>

#include "form_harness.h"

namespace {

std::string Section(int index, const std::string& model, const std::string& inquiry,
                    const std::string& range, const std::string& mask = "*.bin",
                    const std::string& note = "") {
  char name[sizeof "MODEL-2147483648"];  // room for any int
  std::snprintf(name, sizeof name, "MODEL%02d", index);
  return std::string("[") + name + "]\nModel=" + model + "\nInquiry10=" + inquiry +
         "\nFW-Range10=" + range +
         "\nInquiry20=-\nFW-Range20=----\nInquiry30=-\nFW-Range30=----\nBINMask=" + mask +
         "\nVendor=Acme\nNote=" + note + "\n";
}

// A generic executable stand-in that carries the form's marker.
std::string FakeExecutable() {
  std::string exe(2048, '\x90');
  exe.append(kTestMarker, kMarkerSize);
  exe.append(kRecordBodySize, '\0');
  std::string region(kImageCapacity, '\0');
  std::memcpy(region.data(), kKeyWord, 4);
  return exe + region + std::string(1000, '\x5A');
}

// "M7" and the like, appended: GCC 12 warns wrongly when a string is prefixed.
std::string Numbered(char letter, int i) {
  std::string text(1, letter);
  text += std::to_string(i);
  return text;
}

class BuilderMode : public ::testing::Test {
 protected:
  FormHarness h{true};
  void WriteIni(const std::string& text) { h.dir.Write("flash.INI", text); }
  std::string IniPath() const { return (h.dir.path() / "flash.INI").string(); }
};

TEST_F(BuilderMode, BuildsAFlasherFromTheChosenModelAndFile) {
  WriteIni(Section(0, "First", "ACME    DVD-ROM A       ", "AB10-AB1Z", "*.bin") +
           Section(1, "Second", "ACME    DVD-ROM B", "CD10-CD1Z", "*.hex;*.BIN"));
  h.dir.Write("flash", FakeExecutable());
  h.dir.Write("fw01.bin", std::string(5000, '\x11'));
  h.dir.Write("fw02.hex", std::string(300, '\x22'));
  h.dir.Write("notes.txt", "x");

  const auto lines = h.Run("select 1\nclick fw01.bin\npress\nclose\n");
  const std::vector<std::string> start = {
      "caption:  Flash Utility V1.051 ",
      "files:",
      "file: flash",
      "file: flash.INI",
      "file: fw01.bin",
      "file: fw02.hex",
      "file: notes.txt",
      // Trailing blanks of a value are trimmed, as the system reader does.
      "combo add 0: AB10-AB1Z ACME    DVD-ROM A",
      "combo select 0",
      // Each further section clears the selection before it is accepted.
      "combo select -1",
      "combo add 1: CD10-CD1Z ACME    DVD-ROM B",
      "combo select 0",
      "files:",
      "file: fw01.bin",
      "caption:  Flash Utility V1.051 AB10-AB1Z [Buiding]",
      "button: FLASH disabled",
      "label: Select Model: ",
      "button: Build disabled",
      // select 1
      "combo select 1",
      "files:",
      "file: fw01.bin",
      "file: fw02.hex",
      "caption:  Flash Utility V1.051 CD10-CD1Z [Buiding]",
  };
  const std::vector<std::string>& expectedStart = start;
  ASSERT_GE(lines.size(), expectedStart.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expectedStart.size()),
            expectedStart);

  const std::vector<std::string> rest(lines.begin() + expectedStart.size(), lines.end());
  EXPECT_EQ(rest.front(), "button: Build enabled");
  EXPECT_EQ(rest[1], "cursor: busy");
  EXPECT_EQ(rest[2], "status: Building fw01.bin  Please wait... ");
  EXPECT_EQ(rest[3], std::string("progress: 0/").append(std::to_string(FakeExecutable().size())));
  const std::vector<std::string> tail(rest.end() - 4, rest.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "status: Build fw01.EXE complete!",
                      std::string("progress: 0/").append(std::to_string(FakeExecutable().size())),
                      "cursor: default", "quit"}));
  // The second model's values went into the record.
  const std::string built = ReadFileBytes(h.dir.path() / "fw01.EXE");
  EXPECT_EQ(built.substr(2048 + kMarkerSize, 6), std::string("Second", 6));
  EXPECT_EQ(built.substr(2048 + kMarkerSize + 25, 25),
            std::string("ACME    DVD-ROM B       ") + '\0');
}

TEST_F(BuilderMode, CatalogueLoading) {
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += Section(i, Numbered('M', i), "I", Numbered('R', i));
  struct Case {
    const char* what;
    std::string ini;
    std::size_t models;   // combo lines
    std::string message;  // box text, or empty when the load succeeds
  };
  const std::string five = Section(0, "a", "i", "r0") + Section(1, "b", "i", "r1") +
                           Section(2, "c", "i", "r2") + Section(3, "d", "i", "r3") +
                           Section(4, "e", "i", "r4");
  std::string noNote = Section(2, "c", "i", "r2");
  noNote = noNote.substr(0, noNote.find("Note="));
  const Case cases[] = {
      {"five, then a gap", five + Section(6, "g", "i", "r6"), 5, ""},
      {"a hundred, MODEL100 unread", hundred + "[MODEL100]\nModel=x\n", 100, ""},
      {"single section", Section(0, "a", "i", "r0"), 1, ""},
      {"names in other cases",
       "[model00]\nMODEL=a\ninquiry10=i\nfw-range10=r\ninquiry20=-\n"
       "fw-range20=-\ninquiry30=-\nfw-range30=-\nbinmask=*\nvendor=v\nnote=\n",
       1, ""},
      {"missing key after valid models",
       Section(0, "a", "i", "r0") + Section(1, "b", "i", "r1") + noNote, 0,
       IniPath() + " > Session MODEL02 error!"},
      {"FAIL counts as missing", Section(0, "a", "i", "r0", "*.bin", "FAIL"), 0,
       IniPath() + " > Session MODEL00 error!"},
      {"empty catalogue", "[MODEL01]\nModel=x\n", 0, IniPath() + " > Session MODEL00 error!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FormHarness run(true);
    run.dir.Write("flash.INI", c.ini);
    const auto lines = run.Run("");
    const std::string box = BoxText(lines, "box plain ok");
    if (c.message.empty()) {
      EXPECT_EQ(run.form->ComboBox.Items().size(), c.models);
      EXPECT_EQ(run.form->ComboBox.ItemIndex(), 0);
      EXPECT_EQ(box, "");
    } else {
      const std::string path = (run.dir.path() / "flash.INI").string();
      std::string expected = c.message;
      expected.replace(0, IniPath().size(), path);
      EXPECT_EQ(box, expected);
      EXPECT_EQ(run.form->SelectDriveLabel.Caption(), "");  // start-up stopped
    }
    EXPECT_EQ(lines.back(), "quit");
  }
}

// Whatever lies at the description file's path, start-up ends with one of
// its own boxes and the quit request, and never waits. A directory is no
// file; anything else that exists but gives no text reads as holding no model.
TEST_F(BuilderMode, DescriptionFileThatCannotBeRead) {
  namespace fs = std::filesystem;
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> make;
    bool missing;  // "Can't load", rather than the first section's error
    bool asOrdinaryUser = false;
  };
  const Case cases[] = {
    {"a directory", [](const fs::path& p) { fs::create_directory(p); }, true},
#if !defined(_WIN32)  // links, FIFOs, devices and a second user are POSIX notions
    {"a link to nothing", [](const fs::path& p) { fs::create_symlink(p.string() + ".gone", p); },
     true},
    {"a FIFO", [](const fs::path& p) { mkfifo(p.c_str(), 0666); }, false},
    {"a device without end", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, false},
    {"a file the user may not read",
     [](const fs::path& p) {
       std::ofstream(p) << Section(0, "a", "i", "r0");
       chmod(p.c_str(), 0600);
     },
     false, true},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FormHarness run(true);
    const fs::path path = run.dir.path() / "flash.INI";
    c.make(path);
    const std::string expected =
        c.missing ? "Can't load " + path.string() : path.string() + " > Session MODEL00 error!";
    auto endsAsExpected = [&] {
      const auto lines = run.Run("");
      return BoxTexts(lines, "box plain ok") == std::vector<std::string>{expected} &&
             lines.back() == "quit";
    };
    if (!c.asOrdinaryUser) {
      EXPECT_TRUE(endsAsExpected());
      continue;
    }
#if !defined(_WIN32)
    // Root reads every file, so this one runs as an ordinary user.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
      _exit(endsAsExpected() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif
  }
}

TEST_F(BuilderMode, MissingDescriptionFileQuits) {
  const auto lines = h.Run("press\n");
  EXPECT_EQ(BoxText(lines, "box plain ok"), "Can't load " + IniPath());
  // The quit request ends the program before any command is read.
  EXPECT_EQ(lines.back(), "quit");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "error: button disabled"), 0);
}

TEST_F(BuilderMode, ValuesAreNormalisedForTheRecord) {
  WriteIni(Section(0, std::string(30, 'M'), "SHORT INQUIRY 20 CHRS", "AB10-AB1Z"));
  ModelValues stored;
  h.inspect = [&](TFlashForm& form) {
    for (std::size_t k = 0; k < kModelFieldCount; ++k)
      stored[k] = form.Models().Value(0, static_cast<RecordField>(k));
  };
  h.Run("");
  EXPECT_EQ(stored[0], std::string(24, 'M'));
  EXPECT_EQ(stored[1], "SHORT INQUIRY 20 CHRS   ");
  // The combo line shows the values as read.
  EXPECT_EQ(h.form->ComboBox.Items()[0], "AB10-AB1Z SHORT INQUIRY 20 CHRS");
}

TEST_F(BuilderMode, ModelChangeOrTypedTextDisarmsTheButton) {
  WriteIni(Section(0, "a", "i", "r0") + Section(1, "b", "i", "r1"));
  h.dir.Write("x.bin", "x");
  auto lines = h.Run("click x.bin\nselect 1\npress\nclick x.bin\ntype junk\npress\nclose\n");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "error: button disabled"), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "cursor: busy"), 0);
}

TEST_F(BuilderMode, ConsoleCommandErrors) {
  WriteIni(Section(0, "a", "i", "r0"));
  const auto lines = h.Run("select x\nselect 5\nfrobnicate\n");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "error: select needs an item number"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "error: no combo item 5"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "error: unknown command: frobnicate"),
            lines.end());
  EXPECT_EQ(lines.back(), "quit");  // end of input closes the window
}

}  // namespace
