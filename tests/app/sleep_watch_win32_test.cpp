// The window's answers to the system's power broadcasts, and what the sleep
// watch of a flash makes of them.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/power_events_win32.h"
#include "app/sleep_watch.h"

namespace {

constexpr WPARAM kQuerySuspend = 0x0000;
constexpr WPARAM kSuspend = 0x0004;
constexpr WPARAM kResumeAutomatic = 0x0012;
constexpr WPARAM kBatteryLow = 0x0009;
constexpr LRESULT kQueryDeny = 0x424D5144;

TEST(PowerBroadcast, ASuspendRequestIsRefusedOnlyWhileAWatchLives) {
  EXPECT_EQ(AnswerPowerBroadcast(kQuerySuspend), TRUE);
  {
    const auto watch = WatchSleep();
    EXPECT_EQ(AnswerPowerBroadcast(kQuerySuspend), kQueryDeny);
    EXPECT_FALSE(watch->Slept()) << "a refused request is no sleep";
  }
  EXPECT_EQ(AnswerPowerBroadcast(kQuerySuspend), TRUE);
}

TEST(PowerBroadcast, ASuspendOrAResumeAfterTheStartCountsAsSleep) {
  for (const WPARAM event : {kSuspend, kResumeAutomatic}) {
    const auto watch = WatchSleep();
    AnswerPowerBroadcast(kBatteryLow);
    EXPECT_FALSE(watch->Slept());
    AnswerPowerBroadcast(event);
    EXPECT_TRUE(watch->Slept()) << event;
    // A watch begun after it sees nothing of it.
    EXPECT_FALSE(WatchSleep()->Slept()) << event;
  }
}

}  // namespace
