// Test-only reads of the device module's shared state, which the program
// itself never needs to look at.
#pragma once

#include <cstdint>

#include "device/module_state.h"

namespace device_testing {

inline bool ErrorPopUps() { return Module().errorPopUps; }
// Drives of the current generation that opened and are still alive.
inline std::uint16_t OpenCount() { return Module().openCount; }
inline std::uint16_t TimeOutSeconds() { return Module().timeOutSeconds; }

}  // namespace device_testing
