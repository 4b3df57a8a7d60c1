#include <atomic>

#include "app/power_events_win32.h"
#include "app/sleep_watch.h"

namespace {

// The broadcast's events, named here: the NT 4.0 headers lack the later ones.
constexpr WPARAM kQuerySuspend = 0x0000;     // PBT_APMQUERYSUSPEND
constexpr WPARAM kSuspend = 0x0004;          // PBT_APMSUSPEND
constexpr WPARAM kResumeCritical = 0x0006;   // PBT_APMRESUMECRITICAL
constexpr WPARAM kResumeSuspend = 0x0007;    // PBT_APMRESUMESUSPEND
constexpr WPARAM kResumeAutomatic = 0x0012;  // PBT_APMRESUMEAUTOMATIC, 98 and 2000 on
constexpr LRESULT kQueryDeny = 0x424D5144;   // BROADCAST_QUERY_DENY

// The window's thread writes, the flash's thread reads.
std::atomic<int> g_watches{0};
std::atomic<unsigned> g_sleeps{0};

// A suspend that could not be refused (Vista and later, a closed lid, a
// critical battery) shows as the suspend itself or, when the window heard
// nothing before the machine went down, as the resume after it.
class BroadcastSleepWatch final : public SleepWatch {
 public:
  BroadcastSleepWatch() : start_(g_sleeps.load()) { ++g_watches; }
  ~BroadcastSleepWatch() override { --g_watches; }
  BroadcastSleepWatch(const BroadcastSleepWatch&) = delete;
  BroadcastSleepWatch& operator=(const BroadcastSleepWatch&) = delete;

  bool Slept() const override { return g_sleeps.load() != start_; }

 private:
  unsigned start_;
};

}  // namespace

LRESULT AnswerPowerBroadcast(WPARAM event) {
  switch (event) {
    case kQuerySuspend:
      return g_watches.load() > 0 ? kQueryDeny : TRUE;
    case kSuspend:
    case kResumeCritical:
    case kResumeSuspend:
    case kResumeAutomatic:
      ++g_sleeps;
      return TRUE;
    default:
      return TRUE;
  }
}

std::unique_ptr<SleepWatch> WatchSleep() { return std::make_unique<BroadcastSleepWatch>(); }
