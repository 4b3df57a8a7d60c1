// What the two LD_PRELOAD libraries share: the simulated machine behind the
// interposed calls, the way a command reaches one of its drives (locked,
// recorded in the transcript, its completion held back when the drive says
// so), and how a library that cannot set itself up refuses to start.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "sim/population.h"

namespace sim {

// Like env(1) when it cannot start a program.
inline constexpr int kPreloadSetupFailedExitCode = 125;

// Writes "<library>: <why>" to standard error and ends the process with
// kPreloadSetupFailedExitCode: a test must never run against half a setup.
[[noreturn]] void RefuseToStart(std::string_view library, const std::string& why);

// A signal handler may call into a preload while the thread it interrupted
// is inside it, so Answer alone takes the lock, and a command sent from a
// handler that interrupted this thread's own command is refused as busy.
class PreloadMachine {
 public:
  // Loads the population file; false with `error` set when it cannot.
  bool Load(const char* populationFile, std::string& error);
  // Appends each command's line to the file FLASH_SIM_TRANSCRIPT names, if
  // it names one; false with `error` set when the file cannot be written.
  bool OpenTranscript(std::string& error);
  void CloseTranscript();
  // Appends `line` to the transcript, if there is one.
  void Note(const std::string& line);

  SimMachine& Machine() { return machine_; }

  // Runs the SG_IO request `header` (an sg_io_hdr_t) on drive `index` and
  // writes "<who> <command and result> moved <bytes>" to the transcript once
  // its completion reaches the caller. Returns what ioctl returns, with
  // errno set on failure.
  int Answer(std::size_t index, std::string_view who, void* header);

 private:
  std::mutex lock_;                   // the machine and the transcript
  std::atomic<pid_t> lockHolder_{0};  // the thread inside an answer, 0 for none
  SimMachine machine_;
  std::FILE* transcript_ = nullptr;
};

}  // namespace sim
