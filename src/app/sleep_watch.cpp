#include "app/sleep_watch.h"

#include <utility>

namespace {

// The two clocks are read one after the other, so their gap wanders by the
// time between the readings; no machine sleeps and wakes within this.
constexpr std::int64_t kSleepThresholdNs = 100'000'000;

}  // namespace

SleepGapWatch::SleepGapWatch(SleepGapClock gap) : gap_(std::move(gap)), start_(gap_()) {}

bool SleepGapWatch::Slept() const { return gap_() - start_ > kSleepThresholdNs; }
