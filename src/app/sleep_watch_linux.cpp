#include <time.h>

#include "app/sleep_watch.h"

namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;

std::int64_t Nanoseconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return std::int64_t{now.tv_sec} * kNsPerSecond + now.tv_nsec;
}

// CLOCK_BOOTTIME goes on while the machine sleeps, CLOCK_MONOTONIC stops:
// this catches a suspend that logind's inhibitor did not stop (a forced
// one, a hardware switch).
std::int64_t BootMinusMonotonic() {
  return Nanoseconds(CLOCK_BOOTTIME) - Nanoseconds(CLOCK_MONOTONIC);
}

}  // namespace

std::unique_ptr<SleepWatch> WatchSleep() {
  return std::make_unique<SleepGapWatch>(BootMinusMonotonic);
}
