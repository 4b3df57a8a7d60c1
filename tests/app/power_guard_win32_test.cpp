// The guard's hold on the thread's execution state. SetThreadExecutionState
// answers the state it replaces, so setting a state again reads it.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/power_guard.h"

namespace {

TEST(PowerGuard, KeepsTheSystemRequiredWhileHeldAndNotAfter) {
  constexpr EXECUTION_STATE kHeld = ES_CONTINUOUS | ES_SYSTEM_REQUIRED;
  {
    const PowerGuard guard = PowerGuard::Take();
    ASSERT_TRUE(guard.Held());
    EXPECT_EQ(SetThreadExecutionState(kHeld), kHeld);
  }
  EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
}

}  // namespace
