// Test-only access to the device module's shared state.
#pragma once

namespace device_testing {

// Returns the module to its start state: no path chosen, open count 0, error
// pop-ups off, status 0x63, time-out 60 s, no data buffer, empty inquiry
// buffer, no dialog sink. Drives still alive must not be used afterwards.
void ResetModule();

}  // namespace device_testing
