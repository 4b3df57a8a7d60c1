// Whether the computer slept since a moment. A drive loses what its DRAM
// holds when the machine sleeps under it, and a flash start then programs
// whatever the DRAM holds afterwards; a program cannot always refuse a sleep
// (a closed lid, a forced suspend), but it can notice one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class SleepWatch {
 public:
  virtual ~SleepWatch() = default;
  // True once the machine has slept (or resumed) since the watch began.
  virtual bool Slept() const = 0;
};

// Watches from now on: the system's own implementation (Linux: the clock
// gap below; Windows: the power broadcasts the window records, and a refused
// suspend request where the system still asks).
std::unique_ptr<SleepWatch> WatchSleep();

// Nanoseconds by which a clock that counts sleep runs ahead of one that does
// not (CLOCK_BOOTTIME minus CLOCK_MONOTONIC); the gap grows only across a
// sleep.
using SleepGapClock = std::function<std::int64_t()>;

class SleepGapWatch final : public SleepWatch {
 public:
  explicit SleepGapWatch(SleepGapClock gap);
  bool Slept() const override;

 private:
  SleepGapClock gap_;
  std::int64_t start_;
};
