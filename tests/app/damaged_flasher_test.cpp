// A flasher damaged after it was built, as a user meets it: the shipped
// program builds a flasher, one byte of the copy's image is flipped (a bad
// copy, a failing stick), and the copy, run against a simulated drive that it
// would otherwise flash, refuses to start and sends the drive nothing.
#include <gtest/gtest.h>

#include "catalogue/embedded_block.h"
#include "own_marker.h"
#include "sim_process_fixture.h"

namespace {

using namespace sim_process;
using DamagedFlasher = SimulatedDrives;

TEST_F(DamagedFlasher, ABitFlippedInTheImageStopsItBeforeAnyDriveHearsOfIt) {
  std::string flasher =
      ReadFileBytes(dir.path() / BuildFlasher("SM01.bin", MakeImage(ImageFormat::Plain)));
  const std::size_t marker = flasher.find(std::string(kOwnMarker, sizeof kOwnMarker));
  ASSERT_NE(marker, std::string::npos);
  flasher[marker + kMarkerSize + kRecordBodySize + 0x1234] ^= 0x10;
  dir.Write("SM01.EXE", flasher);

  const RunResult run =
      Start("SM01.EXE", std::string("drive 0:0:0:0\n") + kFamilyDrive + "  revision AB10\n",
            "yes\npress\nyes\nno\nclose\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(HasLine(run.output, "box error ok")) << run.output;
  EXPECT_TRUE(HasLine(run.output,
                      "| The firmware image this flasher carries is damaged: its checksum does "
                      "not match."))
      << run.output;
  EXPECT_FALSE(HasLine(run.output, "box warning yesno")) << run.output;
  EXPECT_TRUE(run.output.ends_with("box end\nquit\n")) << run.output;
  EXPECT_EQ(run.transcript, "") << "the drive received commands";
}

}  // namespace
