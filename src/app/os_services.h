// The few things the program asks of the operating system outside the
// device layer.
#pragma once

#include <string>

// The running executable's full path ("" when the system cannot tell).
std::string SelfExecutablePath();
// The process's current directory.
std::string CurrentDirectory();
// Asks for a forced restart of the machine.
void RestartSystem();
// Waits `milliseconds` on the calling thread.
void SleepMilliseconds(unsigned milliseconds);
