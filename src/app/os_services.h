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
// Before anything loads a library at run time: keeps the program's own
// folder and the working directory out of the system's library search where
// the system allows it (Windows' NT family; elsewhere nothing to do).
void ProtectLibrarySearch();
