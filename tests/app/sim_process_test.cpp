// The shipped program as a user runs it, against simulated drives: build a
// flasher with the unmodified `flash`, then run that flasher through the
// preload library, which answers its sysfs scan and SG_IO calls from a
// population file and catches its restart request.
#include "app/sim_process_fixture.h"

namespace {

using namespace sim_process;

TEST_F(SimulatedDrives, FlashesEachImageFormatThroughTheRealDevicePath) {
  struct Case {
    const char* image;
    ImageFormat format;
    std::size_t flashIdReads;
    std::size_t profileWrites;
    std::size_t criticalEntries;
    std::size_t profileReadBacks;
  };
  const std::vector<Case> cases = {
      {"SMP1.bin", ImageFormat::Plain, 0, 0, 0, 0},
      {"SMC1.bin", ImageFormat::CriticalEntry, 1, 1, 1, 1},
      {"SMX1.bin", ImageFormat::ExtendedId, 1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.image);
    const std::string flasher = BuildFlasher(c.image, MakeImage(c.format));
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
  const std::string flasher = BuildFlasher("SM01.bin", MakeImage(ImageFormat::Plain));

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
  const std::string flasher = BuildFlasher("SM01.bin", MakeImage(ImageFormat::Plain));
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
       {"box plain ok",
        "| The drive /dev/sr0 did not answer within 60 seconds and was reset by the system.",
        "box end", "box plain ok", "| Read Buffer> 00 00 00. 00, 006E", "box end"},
       "status: Read back and Verify drive's DRAM... , Read Fail! "},
      // libata answers a command it gave up on with sense 0B/00/00 and
      // DRIVER_SENSE; only the time it took says it timed out.
      {"fault opcode 3C occurrence 1 never-completes port-reset",
       {"box plain ok",
        "| The drive /dev/sr0 did not answer within 60 seconds and was reset by the system.",
        "box end", "box plain ok", "| Read Buffer> 0B 00 00. 02, 006E", "box end"},
       "status: Read back and Verify drive's DRAM... , Read Fail! "},
      // Unplugged with a piece in flight: DID_ERROR, then the node is gone.
      {"fault opcode 3B control 00 occurrence 2 gone",
       {"box plain ok",
        "| The drive /dev/sr0 is no longer there: it was unplugged or switched off.",
        "| Connect it again, then start the update again.", "box end", "box plain ok",
        "| Write Buffer> 00 00 00. 00, 0013", "box end"},
       "status: Write BIN to drive's DRAM... , Fail! "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const RunResult run = Start(
        flasher, std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\n" + c.fault + "\n",
        "yes\npress\nyes\n\n\nclose\n");
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
  const std::string flasher = BuildFlasher("SM01.bin", MakeImage(ImageFormat::Plain));

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

// Once a drive has failed to open, error pop-ups are on for the rest of the
// run. The readiness wait's polls ask whether the drive is ready yet; a drive
// that answers "becoming ready" has answered, and shows no box however many
// polls it takes. A poll that gets no answer at all still shows its box.
TEST_F(SimulatedDrives, TheReadinessWaitShowsNoBoxForADriveThatAnswers) {
  const std::string flasher = BuildFlasher("SM01.bin", MakeImage(ImageFormat::Plain));
  struct Case {
    const char* drive;
    std::size_t senseBoxes;  // the unopened drive's own box included
    const char* senseBox;
  };
  const Case cases[] = {
      {"ready-after 20", 1, "| SenseCode: 00 00 00, 00, Error: 13, Permission denied"},
      {"fault opcode 00 occurrence 1 call-failed", 2,
       "| SenseCode: 00 00 00, 00, Error: 5, Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drive);
    const RunResult run = Start(flasher,
                                std::string("drive 0:0:0:0\n") + kFamilyDrive +
                                    "revision AB10\nopen-fails 13\ndrive 0:0:1:0\n" + kFamilyDrive +
                                    "revision AB10\n" + c.drive + "\n",
                                "yes\n\n\n\npress\nyes\nno\nclose\n");
    EXPECT_EQ(run.exitCode, 0);
    const std::vector<std::string> lines = Lines(run.output, "");
    EXPECT_EQ(Count(lines, "| SenseCode: "), c.senseBoxes) << run.output;
    EXPECT_TRUE(HasLine(run.output, c.senseBox)) << run.output;
    EXPECT_TRUE(HasLine(run.output, "status: Flash Completed.")) << run.output;
  }
}

TEST_F(SimulatedDrives, RestartIsCaughtAndRecordedNeverCarriedOut) {
  const std::string flasher = BuildFlasher("SM01.bin", MakeImage(ImageFormat::Plain));
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

namespace {

// The preload keeps its sysfs tree in $TMPDIR and clears the trees of runs
// that were killed. It removes those and nothing else: not the user's files
// whatever their names, nor a directory named like a tree that it did not make.
TEST(SimulatedSysfsTree, OnlyTreesThePreloadMadeAreEverRemoved) {
  namespace fs = std::filesystem;
  TempDir dir;
  const fs::path tmp = dir.path() / "tmp";
  const std::vector<fs::path> foreign = {tmp / "3999999-thesis" / "chapter1.txt",
                                         tmp / "777-report.pdf",
                                         tmp / "flash-sim-sysfs-3999999-AbCdEf" / "notes"};
  for (const fs::path& file : foreign) {
    fs::create_directories(file.parent_path());
    dir.Write(fs::relative(file, dir.path()).string(), "the user's own\n");
  }
  dir.Write("population.txt", "drive 0:0:0:0\n");
  const std::string preload = "cd '" + dir.path().string() + "' && TMPDIR='" + tmp.string() +
                              "' FLASH_SIM_PRELOAD='" + SIM_PRELOAD + "' '" + SIM_RUNNER +
                              "' population.txt -- ";
  const auto trees = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(tmp)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("flash-sim-sysfs-") && name != "flash-sim-sysfs-3999999-AbCdEf")
        names.push_back(name);
    }
    return names;
  };

  // A run killed by a signal leaves its tree behind.
  std::system((preload + "sh -c 'kill -KILL $$'").c_str());
  const std::vector<std::string> abandoned = trees();
  EXPECT_EQ(abandoned.size(), 1u);

  const int status = std::system((preload + "cat /sys/class/block/.flash-sim > out.txt").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFileBytes(dir.path() / "out.txt"), "simulated\n");
  EXPECT_EQ(trees(), std::vector<std::string>{}) << "the abandoned or the run's own tree stayed";
  for (const fs::path& file : foreign) {
    EXPECT_EQ(ReadFileBytes(file), "the user's own\n") << file;
  }
}

}  // namespace
