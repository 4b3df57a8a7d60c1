#include "catalogue/flasher_builder.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>

#include "catalogue/embedded_block.h"
#include "support/temp_dir.h"

namespace {

constexpr char kMarker[kMarkerSize] = "<TEST-MARKER!>";
constexpr std::size_t kPrefix = 3000;
constexpr std::size_t kTail = 5000;

class RecordingReporter final : public BuildReporter {
 public:
  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  void SetupProgress(std::uint32_t m, std::uint32_t s) override {
    max = m;
    step = s;
    position = 0;
  }
  void StepProgress(std::uint32_t steps) override { position += steps * step; }
  void SetProgress(std::uint32_t p) override { position = p; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> statuses, messages;
  std::uint32_t max = 0, step = 0, position = 0;
};

// A stand-in for the generic executable: code bytes (with a broken-off start
// of the marker among them), the block, and more code after it.
std::string FakeExecutable() {
  std::string exe(kPrefix, '\x90');
  std::memcpy(&exe[100], kMarker, 7);  // a partial match must not hide the real one
  exe.append(kMarker, kMarkerSize);
  exe.append(kRecordBodySize, '\xEE');
  std::string region(kImageCapacity, '\xCC');
  std::memcpy(region.data(), kKeyWord, 4);
  exe += region;
  exe.append(kTail, '\x5A');
  return exe;
}

ModelValues SampleModel() {
  return {"Model X",   "VENDOR  PRODUCT-ID      ",
          "AB10-AB1Z", "-",
          "----",      "-",
          "----",      "Acme",
          "FLASH-ALL", "*.bin"};  // the file mask is not stored
}

class BuilderTest : public ::testing::Test {
 public:
  void SetUp() override {
    exePath = dir.Write("generic.exe", FakeExecutable());
#if !defined(_WIN32)
    chmod(exePath.c_str(), 0751);
#endif
  }
  BuildRequest Request(const std::string& name) const {
    BuildRequest r;
    r.model = SampleModel();
    r.chosenName = name;
    r.firmwarePath = dir.path() / name;
    r.executablePath = exePath;
    r.outputDirectory = dir.path();
    r.marker = kMarker;
    return r;
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  TempDir dir;
  std::filesystem::path exePath;
  RecordingReporter reporter;
};

std::string Image(std::size_t size, char seed) {
  std::string image(size, '\0');
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<char>(seed + i * 7);
  return image;
}

TEST_F(BuilderTest, PatchesOnlyTheRecordBodyAndTheImageStart) {
  const std::string image = Image(70000, 3);
  dir.Write("abcd.bin", image);
  ASSERT_TRUE(NewBuildFlashProgram(Request("abcd.bin"), reporter));

  const std::string generic = ReadFileBytes(exePath);
  const std::string built = ReadFileBytes(dir.path() / "abcd.EXE");
  ASSERT_EQ(built.size(), generic.size());
  const std::size_t body = kPrefix + kMarkerSize;
  const std::size_t region = body + kRecordBodySize;
  EXPECT_EQ(built.substr(0, body), generic.substr(0, body));
  EXPECT_EQ(built.substr(region, image.size()), image);
  EXPECT_EQ(built.substr(region + image.size()), generic.substr(region + image.size()));

  std::string expectedBody(kRecordBodySize, '\0');
  const ModelValues model = SampleModel();
  for (std::size_t f = 0; f < 9; ++f) expectedBody.replace(f * 25, model[f].size(), model[f]);
  expectedBody.replace(225, 5, "ABCD.");
  const std::uint32_t size = static_cast<std::uint32_t>(image.size());
  for (int b = 0; b < 4; ++b) expectedBody[233 + b] = static_cast<char>(size >> (8 * b));
  EXPECT_EQ(built.substr(body, kRecordBodySize), expectedBody);

  EXPECT_EQ(reporter.statuses, (std::vector<std::string>{"Building abcd.bin  Please wait... ",
                                                         "Build abcd.EXE complete!"}));
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(reporter.max, generic.size());
  EXPECT_EQ(reporter.position, 0u);
  EXPECT_EQ(std::filesystem::status(dir.path() / "abcd.EXE").permissions(),
            std::filesystem::status(exePath).permissions());
  EXPECT_EQ(Files(), (std::vector<std::string>{"abcd.EXE", "abcd.bin", "generic.exe"}));
}

TEST_F(BuilderTest, ShortNamesAndEmptyImages) {
  dir.Write("ab.b", "");
  ASSERT_TRUE(NewBuildFlashProgram(Request("ab.b"), reporter));
  const std::string built = ReadFileBytes(dir.path() / "ab.b.EXE");
  const std::size_t body = kPrefix + kMarkerSize;
  EXPECT_EQ(built.substr(body + 225, 8), std::string("AB.B\0\0\0\0", 8));
  EXPECT_EQ(built.substr(body + 233, 4), std::string(4, '\0'));
  // With no image the key word survives: that copy starts as a builder again.
  EXPECT_EQ(built.substr(body + kRecordBodySize, 4), "ZEDA");
  EXPECT_EQ(reporter.statuses.back(), "Build ab.b.EXE complete!");
}

TEST_F(BuilderTest, SecondBuildIsNotShapedByTheFirst) {
  dir.Write("big1.bin", Image(200000, 1));
  dir.Write("big1.bak", "stale");
  ASSERT_TRUE(NewBuildFlashProgram(Request("big1.bin"), reporter));
  const std::string small = Image(1000, 9);
  dir.Write("big1.bin", small);  // same output name: the flasher is replaced
  ASSERT_TRUE(NewBuildFlashProgram(Request("big1.bin"), reporter));
  const std::string built = ReadFileBytes(dir.path() / "big1.EXE");
  const std::string generic = ReadFileBytes(exePath);
  const std::size_t region = kPrefix + kMarkerSize + kRecordBodySize;
  EXPECT_EQ(built.substr(region, small.size()), small);
  EXPECT_EQ(built.substr(region + small.size()), generic.substr(region + small.size()));
}

TEST_F(BuilderTest, FailuresLeaveNothingBehind) {
  struct Case {
    const char* what;
    std::function<BuildRequest(BuilderTest&)> prepare;
    std::string message;
  };
  const Case cases[] = {
      {"missing firmware", [](BuilderTest& t) { return t.Request("none.bin"); },
       "Open none.bin fail!"},
      {"no file chosen",
       [](BuilderTest& t) {
         auto r = t.Request("");
         r.firmwarePath = t.dir.path();
         return r;
       },
       "Open  fail!"},
      {"oversize firmware",
       [](BuilderTest& t) {
         t.dir.Write("huge.bin", std::string(kImageCapacity + 1, 'x'));
         return t.Request("huge.bin");
       },
       "Firmware file huge.bin is 327681 bytes long.\nA flasher can carry at most 327680 bytes; "
       "nothing was built."},
      {"missing executable",
       [](BuilderTest& t) {
         t.dir.Write("abcd.bin", "x");
         auto r = t.Request("abcd.bin");
         r.executablePath = t.dir.path() / "gone.exe";
         return r;
       },
       "Open " + (dir.path() / "gone.exe").string() + " fail!"},
      {"no marker",
       [](BuilderTest& t) {
         t.dir.Write("abcd.bin", "x");
         t.dir.Write("generic.exe", std::string(5000, 'q'));
         return t.Request("abcd.bin");
       },
       "Building fail: not found key-word in generic.exe"},
      {"image runs past the end",
       [](BuilderTest& t) {
         t.dir.Write("abcd.bin", std::string(100, 'i'));
         t.dir.Write("generic.exe",
                     std::string(kMarker, kMarkerSize) + std::string(kRecordBodySize + 50, 'r'));
         return t.Request("abcd.bin");
       },
       "Building fail: some problem in generic.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingReporter r;
    const auto before = Files();
    EXPECT_FALSE(NewBuildFlashProgram(c.prepare(*this), r));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], c.message);
    EXPECT_EQ(r.statuses.size(), 1u);  // the building text stays
    for (const auto& name : Files()) {
      EXPECT_EQ(name.find(".EXE"), std::string::npos) << name;
    }
  }
}

#if !defined(_WIN32)
// Directory permissions and a second user are POSIX notions.
TEST_F(BuilderTest, ReadOnlyDirectoryLeavesNoFile) {
  dir.Write("abcd.bin", Image(4096, 2));
  chmod(dir.path().c_str(), 0555);
  // Root ignores directory permissions, so build as an ordinary user then.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
    RecordingReporter r;
    const bool built = NewBuildFlashProgram(Request("abcd.bin"), r);
    _exit(!built && r.messages == std::vector<std::string>{"Create abcd.EXE Fail"} ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(Files(), (std::vector<std::string>{"abcd.bin", "generic.exe"}));
}
#endif

// Builds as an ordinary user when asked (root ignores file permissions) and
// tells whether the build failed with the output-creation box alone.
bool FailsToCreate(const BuildRequest& request, bool asOrdinaryUser) {
  auto failsToCreate = [&] {
    RecordingReporter r;
    return !NewBuildFlashProgram(request, r) &&
           r.messages ==
               std::vector<std::string>{"Create " + FlasherFileName(request.chosenName) + " Fail"};
  };
  if (!asOrdinaryUser) return failsToCreate();
#if defined(_WIN32)
  return false;  // no second user to build as
#else
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
    _exit(failsToCreate() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

// The rename must never swap out the program being copied or a file the user
// could not have overwritten: those stay as they were and the build fails.
TEST_F(BuilderTest, ProtectedOutputsAreLeftUntouched) {
  namespace fs = std::filesystem;
  struct Case {
    const char* what;
    std::function<void(BuilderTest&, BuildRequest&)> prepare;
    bool asOrdinaryUser = false;
  };
  const Case cases[] = {
    {"the program itself",
     [](BuilderTest& t, BuildRequest& r) {
       r.executablePath = t.dir.Write("abcd.EXE", FakeExecutable());
     }},
    {"another name of the program",
     [](BuilderTest& t, BuildRequest&) {
       fs::create_hard_link(t.exePath, t.dir.path() / "abcd.EXE");
     }},
    {"a directory",
     [](BuilderTest& t, BuildRequest&) { fs::create_directory(t.dir.path() / "abcd.EXE"); }},
#if !defined(_WIN32)  // file modes, a second user and FIFOs are POSIX notions
    {"a read-only file, even for root",
     [](BuilderTest& t, BuildRequest&) {
       chmod(t.dir.Write("abcd.EXE", "old flasher").c_str(), 0444);
     }},
    {"a file the user may not write",
     [](BuilderTest& t, BuildRequest&) {
       chmod(t.dir.Write("abcd.EXE", "old flasher").c_str(), 0644);
       chmod(t.exePath.c_str(), 0755);
     },
     true},
    // Opening a FIFO for writing would wait for a reader forever.
    {"a FIFO",
     [](BuilderTest& t, BuildRequest&) { mkfifo((t.dir.path() / "abcd.EXE").c_str(), 0666); }},
#endif
  };
  const fs::path output = dir.path() / "abcd.EXE";
  dir.Write("abcd.bin", Image(4096, 5));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(output);
#if !defined(_WIN32)
    chmod(exePath.c_str(), 0751);
#endif
    BuildRequest request = Request("abcd.bin");
    c.prepare(*this, request);
    const auto files = Files();
    const auto type = fs::symlink_status(output).type();
    const std::string bytes = fs::is_regular_file(output) ? ReadFileBytes(output) : "";

    EXPECT_TRUE(FailsToCreate(request, c.asOrdinaryUser));
    EXPECT_EQ(Files(), files);  // no temporary file left either
    EXPECT_EQ(fs::symlink_status(output).type(), type);
    if (fs::is_regular_file(output)) {
      EXPECT_EQ(ReadFileBytes(output), bytes);
    }
  }
  fs::remove_all(output);
}

TEST(FlasherFileName, FirstFourCharactersAsTheyAre) {
  EXPECT_EQ(FlasherFileName("abcd.bin"), "abcd.EXE");
  EXPECT_EQ(FlasherFileName("ab.b"), "ab.b.EXE");
  EXPECT_EQ(FlasherFileName("a.b"), "a.b.EXE");
}

}  // namespace
