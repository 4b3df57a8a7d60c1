// The shipped program against simulated drives, as a user runs it: a flasher
// built with the unmodified `flash`, run through the preload library, which
// answers its sysfs scan and SG_IO calls from a population file and catches
// its restart request.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <vector>

#include "support/image_format_stamp.h"
#include "support/program_run.h"
#include "support/sample_drive.h"
#include "support/temp_dir.h"

namespace sim_process {

namespace fs = std::filesystem;

constexpr std::size_t kImageSize = 0x10000;
constexpr char kRestartNotice[] =
    "restart requested (caught by the simulation; the machine was not restarted)";

// A 64 KiB image whose only 05 80 signature, if any, marks its format.
inline std::string MakeImage(ImageFormat format) {
  std::string image(kImageSize, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<char>((i * 37 + (i >> 8)) & 0xFF);
  }
  StampFormat(std::span(image), format);
  return image;
}

inline std::size_t Count(const std::vector<std::string>& lines, const std::string& part) {
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

struct RunResult : ProgramRun {
  std::string transcript;  // "srN CDB in|out LENGTH -> RESULT moved N" per command
  std::string restarts;    // the preload's record of restart requests
};

class SimulatedDrives : public ::testing::Test {
 protected:
  void SetUp() override { PlaceProgram(dir, FLASH_EXECUTABLE, FLASH_SAMPLES); }

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
  // `launcher`, when given, is a command line (ending where the command to
  // run follows) that the run goes through.
  RunResult Start(const std::string& program, const std::string& population,
                  const std::string& input, bool simulated = true,
                  const std::string& launcher = "") {
    const fs::path d = dir.path();
    dir.Write("population.txt", population);
    fs::remove(d / "transcript.txt");
    fs::remove(d / "restarts.txt");
    const std::string wrapper = simulated ? "FLASH_SIM_PRELOAD='" + std::string(SIM_PRELOAD) +
                                                "' " + launcher + " '" + SIM_RUNNER +
                                                "' --transcript transcript.txt --log restarts.txt "
                                                "population.txt --"
                                          : launcher;
    RunResult run;
    static_cast<ProgramRun&>(run) = RunProgram(dir, program, input, wrapper);
    run.transcript = ReadFileBytes(d / "transcript.txt");
    run.restarts = ReadFileBytes(d / "restarts.txt");
    return run;
  }

  TempDir dir;
};

}  // namespace sim_process
