// A flasher damaged after it was built, as a user meets it: the shipped
// program builds a flasher, one bit of the copy is flipped (a bad copy, a
// failing stick), and the copy, run against simulated drives, refuses to
// start and sends no drive anything, whether the damage lies in what the
// drive would receive or in what chooses the drive.
#include <gtest/gtest.h>

#include "catalogue/embedded_block.h"
#include "own_marker.h"
#include "sim_process_fixture.h"

namespace {

using namespace sim_process;
using DamagedFlasher = SimulatedDrives;

constexpr std::size_t kShortImage = 20000;  // its second piece runs on to 32,768

TEST_F(DamagedFlasher, AFlippedBitStopsItBeforeAnyDriveHearsOfIt) {
  const std::string built = ReadFileBytes(
      dir.path() / BuildFlasher("SM01.bin", MakeImage(ImageFormat::Plain).substr(0, kShortImage)));
  const std::size_t marker = built.find(std::string(kOwnMarker, sizeof kOwnMarker));
  ASSERT_NE(marker, std::string::npos);
  const std::size_t body = marker + kMarkerSize;
  const std::size_t region = body + kRecordBodySize;
  const std::size_t inquiry10 = body + kRecordFieldSize * 1;
  const std::size_t range10 = body + kRecordFieldSize * 2;
  struct Case {
    const char* what;
    std::size_t at;
    char bit;
  };
  const Case cases[] = {
      {"an image byte", region + 0x1234, 0x10},
      {"a byte behind the image that its last piece sends", region + 30000, 0x01},
      {"Inquiry10: DVD-616 turned into DVD-617", inquiry10 + 22, 0x01},
      {"FW-Range10: AB1Z turned into AB3Z", range10 + 7, 0x02},
      {"BINName", body + kRecordFieldSize * kRecordTextFields + 1, 0x20},
  };
  // The DVD-617 drive is one that only a flipped identification accepts.
  const std::string drives =
      std::string("drive 0:0:0:0\n") + kFamilyDrive + "  revision AB10\n" +
      "drive 0:0:1:0\n  vendor \"ACME    \"\n  product \"DVD-ROM DVD-617 \"\n"
      "  revision AB10\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string flasher = built;
    flasher[c.at] ^= c.bit;
    dir.Write("SM01.EXE", flasher);
    const RunResult run = Start("SM01.EXE", drives, "yes\npress\nyes\nno\nclose\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(HasLine(run.output, "box error ok")) << run.output;
    EXPECT_TRUE(HasLine(run.output,
                        "| This flasher is damaged: the checksum over its firmware image and model "
                        "record does not match."))
        << run.output;
    EXPECT_FALSE(HasLine(run.output, "box warning yesno")) << run.output;
    EXPECT_TRUE(run.output.ends_with("box end\nquit\n")) << run.output;
    EXPECT_EQ(run.transcript, "") << "a drive received commands";
  }
}

}  // namespace
