// The shipped program as a user runs it, against simulated drives: build a
// flasher with the unmodified `flash`, then run that flasher through the
// preload library, which answers its sysfs scan and SG_IO calls from a
// population file and catches its restart request.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kImageSize = 0x10000;
constexpr char kFamilyDrive[] =
    "  vendor \"ACME    \"\n  product \"DVD-ROM DVD-616 \"\n  revision-after-flash AB15\n";
constexpr char kRestartNotice[] =
    "restart requested (caught by the simulation; the machine was not restarted)";

enum class Signature { None, CriticalEntry, ExtendedId };

// A 64 KiB image whose only 05 80 signature, if any, marks its format.
std::string MakeImage(Signature signature) {
  std::string image(kImageSize, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<char>((i * 37 + (i >> 8)) & 0xFF);
  }
  for (std::size_t at : {0x1100, 0x4000, 0x4008}) image[at + 1] = 0;
  const std::size_t at = signature == Signature::ExtendedId ? 0x4000 : 0x1100;
  if (signature != Signature::None) {
    image[at] = 0x05;
    image[at + 1] = static_cast<char>(0x80);
  }
  return image;
}

bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// The lines of `text` that start with `prefix`, without it.
std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(prefix)) found.push_back(line.substr(prefix.size()));
  }
  return found;
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != l.npos; }));
}

// Transcript lines of the buffer commands, by their control byte.
constexpr char kWriteData[] = "3B 05 01 ";
constexpr char kDataControl[] = " 00 00 00 out 16384";
constexpr char kProfileWrite[] = " 7F 00 00 out ";
constexpr char kCriticalEntry[] = "3B 05 01 00 00 00 00 00 00 7F 00 00 in 0";
constexpr char kReadData[] = "3C 01 01 ";
constexpr char kFlashStart[] = "3B 05 01 00 00 00 00 00 00 80 00 00";
constexpr char kReadFlashId[] = "DF 11 ";

struct RunResult {
  int exitCode = -1;
  std::string output;      // the console protocol
  std::string errors;      // standard error
  std::string transcript;  // "srN CDB in|out LENGTH -> RESULT moved N" per command
  std::string restarts;    // the preload's record of restart requests
};

class SimulatedDrives : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(FLASH_EXECUTABLE, dir.path() / "flash");
    fs::permissions(dir.path() / "flash", fs::perms::owner_all, fs::perm_options::add);
    fs::copy_file(fs::path(FLASH_SAMPLES) / "flash.INI", dir.path() / "flash.INI");
  }

  // Builds a flasher from an image named `name` the way a user does; returns
  // the flasher's file name.
  std::string BuildFlasher(const std::string& name, const std::string& image) {
    dir.Write(name, image);
    const RunResult build = Start("flash", "", "click " + name + "\npress\nclose\n", false);
    std::string flasher = name.substr(0, 4) + ".EXE";
    EXPECT_TRUE(HasLine(build.output, "status: Build " + flasher + " complete!")) << build.output;
    EXPECT_EQ(fs::file_size(dir.path() / flasher), fs::file_size(FLASH_EXECUTABLE));
    return flasher;
  }

  // Runs `program` in the test directory with `input` on its standard input,
  // through the preload over `population` unless `simulated` is false.
  RunResult Start(const std::string& program, const std::string& population,
                  const std::string& input, bool simulated = true) {
    const fs::path d = dir.path();
    dir.Write("input.txt", input);
    dir.Write("population.txt", population);
    fs::remove(d / "transcript.txt");
    fs::remove(d / "restarts.txt");
    std::string command = "cd '" + d.string() + "' && ";
    if (simulated) {
      command += "FLASH_SIM_PRELOAD='" + std::string(SIM_PRELOAD) + "' '" + SIM_RUNNER +
                 "' --transcript transcript.txt --log restarts.txt population.txt -- ";
    }
    command += "./" + program + " < input.txt > output.txt 2> errors.txt";
    const int status = std::system(command.c_str());
    RunResult run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.output = ReadFileBytes(d / "output.txt");
    run.errors = ReadFileBytes(d / "errors.txt");
    run.transcript = ReadFileBytes(d / "transcript.txt");
    run.restarts = ReadFileBytes(d / "restarts.txt");
    return run;
  }

  TempDir dir;
};

TEST_F(SimulatedDrives, FlashesEachImageFormatThroughTheRealDevicePath) {
  struct Case {
    const char* image;
    Signature signature;
    std::size_t flashIdReads;
    std::size_t profileWrites;
    std::size_t criticalEntries;
    std::size_t profileReadBacks;
  };
  const std::vector<Case> cases = {
      {"SMP1.bin", Signature::None, 0, 0, 0, 0},
      {"SMC1.bin", Signature::CriticalEntry, 1, 1, 1, 1},
      {"SMX1.bin", Signature::ExtendedId, 1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.image);
    const std::string flasher = BuildFlasher(c.image, MakeImage(c.signature));
    const RunResult run =
        Start(flasher, std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\n",
              "yes\npress\nyes\nno\nclose\n");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_TRUE(HasLine(run.output, "combo add 0: 0-0-0  : ACME    DVD-ROM DVD-616 AB10"))
        << run.output;
    EXPECT_TRUE(HasLine(run.output, "status: Flash Completed.")) << run.output;
    EXPECT_TRUE(HasLine(run.output, "combo insert 0: 0-0-0  : ACME    DVD-ROM DVD-616 AB15"));
    EXPECT_TRUE(HasLine(run.output,
                        "| The system needs to be restarted for the changes to take "
                        "effect ?"));
    EXPECT_EQ(run.restarts, "") << "the restart was declined";

    const std::vector<std::string> sr0 = Lines(run.transcript, "sr0 ");
    EXPECT_EQ(Lines(run.transcript, "sr").size(), sr0.size()) << "only the one drive was used";
    EXPECT_EQ(Count(sr0, kReadFlashId), c.flashIdReads) << run.transcript;
    EXPECT_EQ(Count(sr0, kProfileWrite), c.profileWrites) << run.transcript;
    EXPECT_EQ(Count(sr0, kCriticalEntry), c.criticalEntries) << run.transcript;
    std::size_t pieces = 0;
    for (const std::string& line : sr0) {
      if (line.starts_with(kWriteData) && line.find(kDataControl) != line.npos) ++pieces;
    }
    EXPECT_EQ(pieces, kImageSize / 16384);
    const std::size_t reads = Count(sr0, kReadData);
    EXPECT_EQ(Count(sr0, " in 16384"), kImageSize / 16384) << "each piece read back whole";
    EXPECT_EQ(reads, kImageSize / 16384 + c.profileReadBacks);
    ASSERT_EQ(Count(sr0, kFlashStart), 1u);
    EXPECT_EQ(Count(sr0, "-> 00 00 00 moved"), sr0.size()) << "every command succeeded";
  }
}

TEST_F(SimulatedDrives, OnlyEligibleDrivesAreOfferedAndTheChosenOneIsFlashed) {
  const std::string flasher = BuildFlasher("SM01.bin", MakeImage(Signature::None));

  // A drive of another revision range is listed in the report and never sent
  // anything but its identification.
  RunResult run =
      Start(flasher, std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB20\n", "yes\n\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(HasLine(run.output, "box error ok")) << run.output;
  EXPECT_TRUE(HasLine(run.output, "| Can't found DVD-616 firmware : AB10-AB1Z drive !"));
  EXPECT_TRUE(HasLine(run.output, "| 0-0-0  : ACME    DVD-ROM DVD-616 AB20"));
  EXPECT_TRUE(run.output.ends_with("box end\nquit\n")) << run.output;
  for (const std::string& line : Lines(run.transcript, "sr0 ")) {
    EXPECT_TRUE(line.starts_with("12 ")) << "only INQUIRY may reach it: " << line;
  }

  // Three drives, listed by address whatever their order in the file: the
  // first is another model; the second and third are offered in that order.
  const std::string three =
      std::string("drive 1:0:0:0\n") + kFamilyDrive + "revision AB12\n" +
      "drive 0:0:0:0\n  vendor \"OTHER   \"\n  product \"CD-RW 52X       \"\n" + "drive 1:0:1:0\n" +
      kFamilyDrive + "revision AB11\n";
  run = Start(flasher, three, "yes\nselect 1\npress\nyes\nno\nclose\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(Lines(run.output, "combo add "),
            (std::vector<std::string>{"0: 1-0-0  : ACME    DVD-ROM DVD-616 AB12",
                                      "1: 1-1-0  : ACME    DVD-ROM DVD-616 AB11"}))
      << run.output;
  EXPECT_TRUE(HasLine(run.output, "| Update Firmware AB11 to SM01 ?")) << run.output;
  EXPECT_TRUE(HasLine(run.output, "combo insert 1: 1-1-0  : ACME    DVD-ROM DVD-616 AB15"));
  // Nodes follow the file: sr0 is 1:0:0:0, sr1 the other model, sr2 1:0:1:0.
  EXPECT_EQ(Count(Lines(run.transcript, "sr2 "), kFlashStart), 1u) << run.transcript;
  for (const char* other : {"sr0 ", "sr1 "}) {
    for (const std::string& line : Lines(run.transcript, other)) {
      EXPECT_TRUE(line.starts_with("12 ")) << other << line;
    }
  }
}

TEST_F(SimulatedDrives, AFailedStepShowsItsBoxAndStopsBeforeTheFlashStart) {
  const std::string flasher = BuildFlasher("SM01.bin", MakeImage(Signature::None));
  struct Case {
    const char* fault;
    std::vector<std::string> box;
    const char* status;
  };
  const std::vector<Case> cases = {
      {"fault opcode 3B control 00 occurrence 2 sense 03 0C 00",
       {"box plain ok", "| Write Buffer> 03 0C 00. 02, 0000", "box end"},
       "status: Write BIN to drive's DRAM... , Fail! "},
      // A read-back that moves too few bytes ends with good sense; only the
      // residual count tells, and stale bytes must never be compared.
      {"fault opcode 3C occurrence 3 short-transfer 1000",
       {"box plain ok", "| Read Buffer> 00 00 00. 00, 0000",
        "| The drive sent 1000 of the 16384 bytes asked for.", "box end"},
       "status: Read back and Verify drive's DRAM... , Read Fail! "},
      {"fault opcode 3C occurrence 1 never-completes",
       {"box plain ok", "| Read Buffer> 00 00 00. 00, 006E", "box end"},
       "status: Read back and Verify drive's DRAM... , Read Fail! "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const RunResult run = Start(
        flasher, std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\n" + c.fault + "\n",
        "yes\npress\nyes\n\nclose\n");
    EXPECT_EQ(run.exitCode, 0);
    std::string box;
    for (const std::string& line : c.box) box += line + "\n";
    EXPECT_NE(run.output.find(box), std::string::npos) << run.output;
    EXPECT_TRUE(HasLine(run.output, c.status)) << run.output;
    EXPECT_FALSE(HasLine(run.output, "status: Flash Completed."));
    EXPECT_EQ(Count(Lines(run.transcript, "sr0 "), kFlashStart), 0u) << run.transcript;
  }
}

TEST_F(SimulatedDrives, RefusedDeviceNodesNameTheDeviceAndWhatIsMissing) {
  const std::string flasher = BuildFlasher("SM01.bin", MakeImage(Signature::None));

  // A node the user may not open (EACCES, or EPERM) is reported with its path,
  // what is missing, and left out.
  struct Refusal {
    int error;
    const char* text;
  };
  for (const Refusal& refusal :
       {Refusal{13, "Permission denied"}, Refusal{1, "Operation not permitted"}}) {
    SCOPED_TRACE(refusal.error);
    const RunResult run =
        Start(flasher,
              std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\nopen-fails " +
                  std::to_string(refusal.error) + "\n",
              "yes\n\n\n\n\n");
    EXPECT_EQ(run.exitCode, 0);
    const std::string code = std::to_string(refusal.error);
    EXPECT_NE(run.output.find("box plain ok\n| Error opening: " + code +
                              ", Drive: /dev/sr0\nbox end\nbox plain ok\n| SenseCode: 00 00 00, "
                              "00, Error: " +
                              code + ", " + refusal.text +
                              "\nbox end\nbox plain ok\n| The drive /dev/sr0 cannot be opened: "
                              "permission denied.\n| Opening it needs read and write access to "
                              "the device node, and firmware commands need root rights "
                              "(CAP_SYS_RAWIO) on Linux: run the utility as root.\nbox end\n"),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(HasLine(run.output, "| Can't find ATAPI Drive !")) << run.output;
    EXPECT_EQ(run.transcript, "") << "an unopened drive receives nothing";
  }

  // SG_IO refused for want of CAP_SYS_RAWIO (EPERM): the box says so.
  const RunResult run = Start(flasher,
                              std::string("drive 0:0:0:0\n") + kFamilyDrive +
                                  "revision AB10\nfault opcode 3B call-failed error 1\n",
                              "yes\npress\nyes\n\n\nclose\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output.find("| The drive /dev/sr0 refused the command: operation not permitted.\n"
                            "| Firmware commands need root rights (CAP_SYS_RAWIO) on Linux: run "
                            "the utility as root.\n"),
            std::string::npos)
      << run.output;
  EXPECT_TRUE(HasLine(run.output, "| Write Buffer> 00 00 00. 00, 0001")) << run.output;
  EXPECT_TRUE(HasLine(run.output, "status: Write BIN to drive's DRAM... , Fail! "));
}

TEST_F(SimulatedDrives, RestartIsCaughtAndRecordedNeverCarriedOut) {
  const std::string flasher = BuildFlasher("SM01.bin", MakeImage(Signature::None));
  const std::string population = std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\n";
  struct Case {
    const char* answer;
    std::string restarts;
    bool noticed;
  };
  const std::vector<Case> cases = {
      {"no", "", false},
      {"yes", "restart requested: systemctl reboot >/dev/null 2>&1\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    const RunResult run =
        Start(flasher, population, std::string("yes\npress\nyes\n") + c.answer + "\nclose\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(HasLine(run.output, "status: Flash Completed.")) << run.output;
    EXPECT_TRUE(run.output.ends_with("quit\n")) << run.output;
    EXPECT_EQ(run.restarts, c.restarts);
    EXPECT_EQ(run.errors.find(kRestartNotice) != std::string::npos, c.noticed) << run.errors;
  }
}

}  // namespace
