#include "sim/population.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/temp_dir.h"

namespace {

using sim::Cdb;

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

// Everything a population line can set, in one comparable line.
std::string Describe(const sim::SimDrive& drive) {
  const sim::DriveConfig& c = drive.Config();
  return std::to_string(c.host) + ":" + std::to_string(c.channel) + ":" + std::to_string(c.target) +
         ":" + std::to_string(c.lun) + " [" + c.letter + "] [" + c.vendor + "|" + c.product + "|" +
         c.revision + "|" + c.revisionAfterFlash + "] chip " + Hex(c.flashChipId) + " polls " +
         std::to_string(c.becomingReadyPolls) + (c.mediumPresent ? " medium" : " empty") +
         (c.openable ? "" : " open-fails " + std::to_string(c.openErrorCode)) +
         (c.inUse ? " in-use" : "") + (c.lockHeld ? " lock " + std::to_string(c.lockHeldMs) : "") +
         (c.sgInUse ? " sg" : "") + " after-flash " + std::to_string(c.becomingReadyAfterFlash) +
         " kb " + std::to_string(c.maxSectorsKb);
}

TEST(Population, ReadsEveryDriveFieldInFileOrder) {
  const std::string text =
      "# two drives\n"
      "drive 0:0:0:0\n"
      "  vendor \"ACME    \"\n"
      "  product \"DVD-ROM DVD-616 \"   # the model\n"
      "  revision AB10\n"
      "  revision-after-flash AB15\n"
      "\n"
      "drive 2:1:3:4 e:\r\n"
      "  vendor \"A\\\"B\\\\\\x41\"\n"
      "  flash-chip-id 0x01 a4 00 FF\n"
      "  ready-after never\n"
      "  medium absent\n"
      "  open-fails 13\n"
      "drive 0:0:1:0 F\n"
      "  ready-after 3\n"
      "  in-use\n"
      "  in-use lock 1500\n"
      "  in-use sg\n"
      "  ready-after-flash 2\n"
      "  max-sectors-kb 4\n";
  sim::SimMachine machine;
  std::string error;
  ASSERT_TRUE(sim::ParsePopulation(text, machine, error)) << error;
  ASSERT_EQ(machine.DriveCount(), 3u);
  EXPECT_EQ(Describe(machine.Drive(0)),
            "0:0:0:0 [ ] [ACME    |DVD-ROM DVD-616 |AB10|AB15] chip BF D6 00 01 polls 0 medium "
            "after-flash 0 kb 512");
  EXPECT_EQ(Describe(machine.Drive(1)),
            "2:1:3:4 [E] [A\"B\\A|SIM DVD-ROM     |1.00|] chip 01 A4 00 FF polls 4294967295 "
            "empty open-fails 13 after-flash 0 kb 512");
  EXPECT_EQ(Describe(machine.Drive(2)),
            "0:0:1:0 [F] [SIMUL   |SIM DVD-ROM     |1.00|] chip BF D6 00 01 polls 3 medium in-use "
            "lock 1500 sg after-flash 2 kb 4");
}

TEST(Population, EmptyTextIsAMachineWithoutDrives) {
  for (const char* text : {"", "\n", "# nothing here\n   \n"}) {
    sim::SimMachine machine;
    std::string error;
    EXPECT_TRUE(sim::ParsePopulation(text, machine, error)) << text << error;
    EXPECT_EQ(machine.DriveCount(), 0u);
  }
}

TEST(Population, FaultLinesArmTheFaultsTheyName) {
  const Cdb inquiry{0x12, 0, 0, 0, 36};
  const Cdb readBuffer{0x3C, 0x01, 0x01, 0, 0, 0, 0, 0, 16};
  const Cdb writeData{0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 16, 0x00};
  struct Case {
    const char* line;
    Cdb cdb;
    std::uint8_t direction;
    int firesOn;  // which of three identical commands it hits; 0 = every one
    std::string result;
  };
  const std::vector<Case> cases = {
      {"fault command 2 sense 03 0C 00", inquiry, 1, 2, "-> 03 0C 00 moved 0"},
      {"fault opcode 12 sense 0x06 29 0", inquiry, 1, 0, "-> 06 29 00 moved 0"},
      {"fault opcode 3B control 00 occurrence 3 sense 04 44 00", writeData, 0, 3,
       "-> 04 44 00 moved 0"},
      {"fault opcode 12 occurrence 2 call-failed", inquiry, 1, 2, "-> call failed error 0"},
      {"fault opcode 12 call-failed error 1", inquiry, 1, 0, "-> call failed error 1"},
      {"fault opcode 12 occurrence 1 never-completes", inquiry, 1, 1, "-> timed out"},
      {"fault opcode 3C corrupt-read-back 5", readBuffer, 1, 0, "-> 00 00 00 moved 16 flipped"},
      {"fault opcode 12 short-transfer 8", inquiry, 1, 0, "-> 00 00 00 moved 8"},
      {"fault opcode 12 occurrence 2 completes-late 61500", inquiry, 1, 2,
       "-> 00 00 00 moved 36 late 61500"},
  };
  const auto run = [](sim::SimDrive& drive, const Case& c) {
    std::vector<std::uint8_t> data(16, 0);
    const std::uint32_t length = c.cdb[0] == 0x12 ? 36 : 16;
    data.resize(length);
    const sim::SimOutcome outcome = drive.Execute(c.cdb, c.direction, data.data(), length, 60);
    std::string text = drive.Transcript().back().TextWithResult();
    text = text.substr(text.find("->"));
    if (outcome.completion == sim::Completion::Done) {
      text += " moved " + std::to_string(outcome.moved);
      if (outcome.lateMilliseconds > 0) text += " late " + std::to_string(outcome.lateMilliseconds);
      if (c.cdb[0] == 0x3C && data[5] != 0) text += " flipped";
    } else if (outcome.completion == sim::Completion::CallFailed) {
      text += " error " + std::to_string(outcome.errorCode);
    }
    return text;
  };
  for (const Case& c : cases) {
    sim::SimMachine clean;
    sim::SimDrive& reference = clean.AddDrive();
    sim::SimMachine machine;
    std::string error;
    ASSERT_TRUE(sim::ParsePopulation(std::string("drive 0:0:0:0\n") + c.line, machine, error))
        << c.line << ": " << error;
    for (int k = 1; k <= 3; ++k) {
      const std::string expected = c.firesOn == 0 || c.firesOn == k ? c.result : run(reference, c);
      EXPECT_EQ(run(machine.Drive(0), c), expected) << c.line << ", command " << k;
    }
  }

  sim::SimMachine machine;
  std::string error;
  ASSERT_TRUE(sim::ParsePopulation("drive 0:0:0:0\nfault opcode 00 gone", machine, error));
  std::vector<std::uint8_t> data(36);
  machine.Drive(0).Execute({}, 1, nullptr, 0, 60);
  EXPECT_EQ(machine.Drive(0).Execute(inquiry, 1, data.data(), 36, 60).completion,
            sim::Completion::NotAnswering);
}

TEST(Population, RefusesFaultyTextsNamingTheLineAndAddsNothing) {
  struct Case {
    std::string text;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"vendor ACME", "line 1: \"vendor\" comes before the first \"drive\" line"},
      {"drive 0:0:0\n",
       "line 1: \"drive\" takes a SCSI address host:channel:target:lun (each "
       "0-255) and an optional drive letter"},
      {"drive 0:0:0:256",
       "line 1: \"drive\" takes a SCSI address host:channel:target:lun (each "
       "0-255) and an optional drive letter"},
      {"drive 0:0:0:0 EF", "line 1: \"EF\" is not a drive letter (A to Z)"},
      {"drive 0:0:0:0\n\ndrive 0:0:0:0", "line 3: drive 0:0:0:0 is listed twice (first on line 1)"},
      {"drive 0:0:0:0 E\ndrive 0:0:1:0 e:",
       "line 2: drive letter E is given twice (first on line 1)"},
      {"drive 0:0:0:0\nvendr X",
       "line 2: unknown key \"vendr\" (expected drive, vendor, product, "
       "revision, revision-after-flash, flash-chip-id, ready-after, ready-after-flash, "
       "medium, open-fails, in-use, max-sectors-kb or fault)"},
      {"drive 0:0:0:0\nvendor ACME DVD",
       "line 2: \"vendor\" takes one text (in double quotes "
       "when it holds blanks)"},
      {"drive 0:0:0:0\nrevision AB100",
       "line 2: \"revision\" \"AB100\" is longer than 4 characters"},
      {"drive 0:0:0:0\nproduct \"DVD-ROM", "line 2: the quoted text has no closing quote"},
      {"drive 0:0:0:0\nproduct \"a\\nb\"",
       "line 2: a quoted text may only escape \\\", \\\\ and \\xHH"},
      {"drive 0:0:0:0\nflash-chip-id BF D6 00",
       "line 2: \"flash-chip-id\" takes four hex bytes, e.g. BF D6 00 01"},
      {"drive 0:0:0:0\nflash-chip-id BF D6 00 100",
       "line 2: \"flash-chip-id\" takes four hex bytes, e.g. BF D6 00 01"},
      {"drive 0:0:0:0\nready-after -1",
       "line 2: \"ready-after\" takes a number of polls or \"never\""},
      {"drive 0:0:0:0\nmedium yes", "line 2: \"medium\" takes \"present\" or \"absent\""},
      {"drive 0:0:0:0\nopen-fails 0",
       "line 2: \"open-fails\" takes the error code the open fails with (errno or Win32, not 0)"},
      {"drive 0:0:0:0\nin-use yes",
       "line 2: \"in-use\" takes nothing, \"lock\" with an optional number of milliseconds "
       "(more than 0), or \"sg\""},
      {"drive 0:0:0:0\nin-use lock 0",
       "line 2: \"in-use\" takes nothing, \"lock\" with an optional number of milliseconds "
       "(more than 0), or \"sg\""},
      {"drive 0:0:0:0\nmax-sectors-kb four", "line 2: \"max-sectors-kb\" takes a number"},
      {"drive 0:0:0:0\nfault sense 03 0C 00",
       "line 2: a fault starts with its trigger: \"command "
       "N\" or \"opcode XX [control XX]\""},
      {"drive 0:0:0:0\nfault command 0 gone",
       "line 2: \"command\" takes the command's number, counted from 1"},
      {"drive 0:0:0:0\nfault opcode 3BB gone", "line 2: \"opcode\" takes a hex byte, e.g. 3B"},
      {"drive 0:0:0:0\nfault opcode 3B control gone",
       "line 2: \"control\" takes a hex byte, e.g. 80"},
      {"drive 0:0:0:0\nfault opcode 3B occurrence 0 gone",
       "line 2: \"occurrence\" takes a number counted from 1"},
      {"drive 0:0:0:0\nfault opcode 3B",
       "line 2: the fault has no kind (expected sense, call-failed, never-completes, "
       "completes-late, gone, corrupt-read-back or short-transfer)"},
      {"drive 0:0:0:0\nfault opcode 3B explode",
       "line 2: unknown fault kind \"explode\" (expected sense, call-failed, never-completes, "
       "completes-late, gone, corrupt-read-back or short-transfer)"},
      {"drive 0:0:0:0\nfault opcode 3B sense 03 0C",
       "line 2: \"sense\" takes three hex bytes: key, ASC, ASCQ (e.g. 03 0C 00)"},
      {"drive 0:0:0:0\nfault opcode 3B call-failed error",
       "line 2: \"call-failed\" takes \"error\" and the error code the call fails with"},
      {"drive 0:0:0:0\nfault opcode 3C corrupt-read-back",
       "line 2: \"corrupt-read-back\" takes the index of the byte it flips"},
      {"drive 0:0:0:0\nfault opcode 3C short-transfer many",
       "line 2: \"short-transfer\" takes the number of bytes that are moved"},
      {"drive 0:0:0:0\nfault opcode 3B completes-late soon",
       "line 2: \"completes-late\" takes the milliseconds its completion is held back"},
      {"drive 0:0:0:0\nfault opcode 3C gone now", "line 2: unexpected \"now\" after the fault"},
  };
  for (const Case& c : cases) {
    sim::SimMachine machine;
    machine.AddDrive();
    std::string error;
    EXPECT_FALSE(sim::ParsePopulation(c.text, machine, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_EQ(machine.DriveCount(), 1u) << "a refused text adds no drive: " << c.text;
  }
}

TEST(Population, FileErrorsNameTheFile) {
  TempDir dir;
  const std::string good = dir.Write("good.txt", "drive 1:0:0:0\nrevision AB10\n").string();
  const std::string bad = dir.Write("bad.txt", "drive 1:0:0:0\nrevision AB100\n").string();
  sim::SimMachine machine;
  std::string error;
  ASSERT_TRUE(sim::LoadPopulation(good, machine, error)) << error;
  EXPECT_EQ(machine.Drive(0).CurrentRevision(), "AB10");

  EXPECT_FALSE(sim::LoadPopulation(bad, machine, error));
  EXPECT_EQ(error, bad + ":2: \"revision\" \"AB100\" is longer than 4 characters");
  const std::string missing = (dir.path() / "missing.txt").string();
  EXPECT_FALSE(sim::LoadPopulation(missing, machine, error));
  EXPECT_EQ(error,
            "cannot read the population file " + missing + ": check its name and permissions");
  EXPECT_EQ(machine.DriveCount(), 1u);
}

}  // namespace
