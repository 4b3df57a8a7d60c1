#include "catalogue/flasher_builder.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#if defined(_WIN32)
#include <windows.h>
#endif
#if defined(__linux__)
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>

#include <thread>
#endif

#include <cstring>

#include "catalogue/build_file.h"
#include "catalogue/crc24.h"
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
    r.firmwarePath = (dir.path() / name).string();
    r.executablePath = exePath.string();
    r.outputDirectory = dir.path().string();
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
  // The checksum covers the body, its own three bytes as zero, and the whole
  // region: what follows the image in the last piece reaches the drive too.
  const std::string covered = expectedBody + built.substr(region, kImageCapacity);
  const std::uint32_t crc =
      Crc24(reinterpret_cast<const unsigned char*>(covered.data()), covered.size());
  for (int b = 0; b < 3; ++b) expectedBody[230 + b] = static_cast<char>(crc >> (8 * b));
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

TEST_F(BuilderTest, ShortNamesAndImages) {
  dir.Write("ab.b", "x");
  ASSERT_TRUE(NewBuildFlashProgram(Request("ab.b"), reporter));
  const std::string built = ReadFileBytes(dir.path() / "ab.b.EXE");
  const std::size_t body = kPrefix + kMarkerSize;
  EXPECT_EQ(built.substr(body + 225, 5), std::string("AB.B\0", 5));
  EXPECT_EQ(built.substr(body + 233, 4), std::string("\1\0\0\0", 4));
  // One byte replaces the key word's first: the copy starts as a flasher.
  EXPECT_EQ(built.substr(body + kRecordBodySize, 4), "xEDA");
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
         r.firmwarePath = t.dir.path().string();
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
      {"empty firmware",
       [](BuilderTest& t) {
         t.dir.Write("none.bin", "");
         return t.Request("none.bin");
       },
       "Firmware file none.bin is empty.\nA flasher needs a firmware image; nothing was built."},
      {"firmware that begins with the key word",
       [](BuilderTest& t) {
         t.dir.Write("zeda.bin", std::string(kKeyWord, 4) + Image(5000, 1));
         return t.Request("zeda.bin");
       },
       "Firmware file zeda.bin would make a flasher whose image begins with \"ZEDA\",\nthe "
       "mark of the unbuilt program: it would start as the builder; nothing was built."},
      {"firmware of the key word's first bytes, which the region completes",
       [](BuilderTest& t) {
         t.dir.Write("ze.bin", "ZE");
         return t.Request("ze.bin");
       },
       "Firmware file ze.bin would make a flasher whose image begins with \"ZEDA\",\nthe "
       "mark of the unbuilt program: it would start as the builder; nothing was built."},
      {"missing executable",
       [](BuilderTest& t) {
         t.dir.Write("abcd.bin", "x");
         auto r = t.Request("abcd.bin");
         r.executablePath = (t.dir.path() / "gone.exe").string();
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
       r.executablePath = t.dir.Write("abcd.EXE", FakeExecutable()).string();
     }},
    // "*.*" lists the flashers too: one of them chosen as firmware file must
    // not be replaced by the flasher built from it.
    {"the firmware file itself",
     [](BuilderTest& t, BuildRequest& r) {
       t.dir.Write("abcd.EXE", Image(4096, 6));
       r = t.Request("abcd.EXE");
     }},
    {"another name of the firmware file",
     [](BuilderTest& t, BuildRequest&) {
       fs::create_hard_link(t.dir.path() / "abcd.bin", t.dir.path() / "abcd.EXE");
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
      EXPECT_TRUE(ReadFileBytes(output) == bytes) << "the file under the name was changed";
    }
  }
  fs::remove_all(output);
}

#if !defined(_WIN32)
// A write that fails (here at a file-size limit, which by default would end
// the process with SIGXFSZ; a full disk fails the same way) fails the build
// cleanly and leaves no partial file.
TEST_F(BuilderTest, AWriteThatFailsLeavesNothingBehind) {
  dir.Write("abcd.bin", Image(4096, 7));
  const auto files = Files();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{64 * 1024, 64 * 1024};  // far below the copy's length
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
    RecordingReporter r;
    const bool built = NewBuildFlashProgram(Request("abcd.bin"), r);
    _exit(!built && r.messages ==
                        std::vector<std::string>{
                            "Building fail: cannot write abcd.EXE (File too large).\n"
                            "Nothing was left behind; make room for the file and build "
                            "again."}
              ? 0
              : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(Files(), files);
}
#endif

#if defined(__linux__)
// Another user who may write the directory swaps the temporary file for a
// link to a file of theirs as soon as it appears. The build never writes
// through that link, and never gives the output name to anything but the
// file it wrote.
TEST_F(BuilderTest, ASwappedTemporaryFileIsNeverWrittenThroughOrInstalled) {
  namespace fs = std::filesystem;
  dir.Write("abcd.bin", Image(4096, 8));
  TempDir elsewhere;
  const fs::path victim = elsewhere.Write("victim", "precious");
  const fs::path output = dir.path() / "abcd.EXE";
  // The swap races the build; a few rounds give it every chance.
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    fs::remove(output);
    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, dir.path().c_str(), IN_CREATE), 0);
    std::thread attacker([&] {
      pollfd ready{watch, POLLIN, 0};
      alignas(inotify_event) char events[4096];
      while (poll(&ready, 1, 5000) == 1) {
        const ssize_t got = read(watch, events, sizeof events);
        for (ssize_t at = 0; at < got;) {
          const auto* event = reinterpret_cast<const inotify_event*>(events + at);
          at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
          if (event->len == 0 || event->name[0] != '~') continue;
          const fs::path temporary = dir.path() / event->name;
          unlink(temporary.c_str());
          symlink(victim.c_str(), temporary.c_str());
          return;
        }
      }
    });
    RecordingReporter r;
    const bool built = NewBuildFlashProgram(Request("abcd.bin"), r);
    attacker.join();
    close(watch);

    EXPECT_EQ(ReadFileBytes(victim), "precious");
    if (built) {  // the swap came after the rename
      EXPECT_EQ(fs::symlink_status(output).type(), fs::file_type::regular);
      EXPECT_EQ(fs::file_size(output), fs::file_size(exePath));
    } else {
      EXPECT_EQ(r.messages, std::vector<std::string>{"Create abcd.EXE Fail"});
      EXPECT_FALSE(fs::exists(fs::symlink_status(output)));
    }
  }
}

// What the build asks of the disk, in order: the flasher's bytes are flushed
// before it gets its name, so a power cut never leaves a short file there.
std::vector<std::string>* g_fileEvents = nullptr;

std::string InodeOf(const struct stat& status) {
  return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
}

}  // namespace

extern "C" int fsync(int fd) {
  struct stat status {};
  if (g_fileEvents && fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
    g_fileEvents->push_back("fsync " + InodeOf(status));
  return static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" int rename(const char* from, const char* to) {
  struct stat status {};
  if (g_fileEvents && lstat(from, &status) == 0)
    g_fileEvents->push_back("rename " + InodeOf(status));
  return renameat(AT_FDCWD, from, AT_FDCWD, to);
}

namespace {

TEST_F(BuilderTest, TheFlasherReachesTheDiskBeforeItsName) {
  dir.Write("abcd.bin", Image(4096, 9));
  std::vector<std::string> events;
  g_fileEvents = &events;
  const bool built = NewBuildFlashProgram(Request("abcd.bin"), reporter);
  g_fileEvents = nullptr;
  ASSERT_TRUE(built);
  struct stat status {};
  ASSERT_EQ(stat((dir.path() / "abcd.EXE").c_str(), &status), 0);
  const std::string flasher = InodeOf(status);
  EXPECT_EQ(events, (std::vector<std::string>{"fsync " + flasher, "rename " + flasher}));
}
#endif

#if defined(_WIN32)
// The 9x family's replacement, tried on whatever Windows runs the test: the
// old file goes first, then the new one takes its name. When that second step
// fails the old flasher is already gone, so the complete new one must stay.
TEST(TemporaryFile, ReplacingInTwoStepsKeepsTheNewFileWhenTheSecondFails) {
  using build_file::MoveResult;
  using build_file::TemporaryFile;
  TempDir dir;
  const std::string output = dir.Write("abcd.EXE", "old").string();
  auto replace = [&](const std::string& bytes, std::string& path) {
    TemporaryFile file;
    std::string reason;
    if (!file.Create(dir.path().string(), "abcd.EXE", 0) ||
        !file.Write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), reason)) {
      return MoveResult::Failed;
    }
    const MoveResult result = file.MoveTo(output, TemporaryFile::ReplaceMethod::DeleteThenMove);
    path = file.Path();
    return result;
  };
  std::string path;
  EXPECT_EQ(replace("new", path), MoveResult::Moved);
  EXPECT_EQ(ReadFileBytes(output), "new");

  // A handle that allows deletion keeps the deleted name taken until it closes.
  HANDLE holder = CreateFileA(output.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const MoveResult result = replace("newer", path);
  CloseHandle(holder);
  EXPECT_EQ(result, MoveResult::FailedKeptIt);
  EXPECT_EQ(ReadFileBytes(path), "newer");
  EXPECT_FALSE(std::filesystem::exists(output));
}
#endif

TEST(FlasherFileName, FirstFourCharactersAsTheyAre) {
  EXPECT_EQ(FlasherFileName("abcd.bin"), "abcd.EXE");
  EXPECT_EQ(FlasherFileName("ab.b"), "ab.b.EXE");
  EXPECT_EQ(FlasherFileName("a.b"), "a.b.EXE");
}

TEST(FlasherFileName, NeverCutsACharacterInTwo) {
  struct Case {
    const char* name;
    const char* posix;    // names are UTF-8
    const char* windows;  // names are in the ANSI code page: bytes, as before
  };
  const Case cases[] = {
      {"a\xC3\x9C\xC3\x9C.bin", "a\xC3\x9C\xC3\x9C..EXE", "a\xC3\x9C\xC3.EXE"},
      {"\xE2\x82\xAC"
       "12345",
       "\xE2\x82\xAC"
       "123.EXE",
       "\xE2\x82\xAC"
       "1.EXE"},
      {"\xF0\x9F\x98\x80xyz.bin", "\xF0\x9F\x98\x80xyz.EXE", "\xF0\x9F\x98\x80.EXE"},
      // Latin-1 bytes are no UTF-8: each counts alone.
      {"a\xDC\xDC\xDCz.bin", "a\xDC\xDC\xDC.EXE", "a\xDC\xDC\xDC.EXE"},
      // A sequence broken off at the end of the name, or an overlong one.
      {"ab\xC3", "ab\xC3.EXE", "ab\xC3.EXE"},
      {"\xC0\xAFxyz", "\xC0\xAFxy.EXE", "\xC0\xAFxy.EXE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
#if defined(_WIN32)
    EXPECT_EQ(FlasherFileName(c.name), c.windows);
#else
    EXPECT_EQ(FlasherFileName(c.name), c.posix);
#endif
  }
}

}  // namespace
