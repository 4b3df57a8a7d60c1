// The few things the program asks of the operating system outside the
// device layer.
#pragma once

#include <cstdint>
#include <string>

// The running executable's full path ("" when the system cannot tell).
std::string SelfExecutablePath();
// The process's current directory.
std::string CurrentDirectory();
// Asks for a restart of the machine. False when the system took no request,
// so the user has to restart it.
bool RestartSystem();
// Waits `milliseconds` on the calling thread.
void SleepMilliseconds(unsigned milliseconds);
// A clock that only moves forward, in milliseconds from some start; it wraps
// (Windows 95 counts 32 bits), so only differences mean anything.
std::uint32_t MonotonicMilliseconds();
// Before anything loads a library at run time: keeps the program's own
// folder and the working directory out of the system's library search where
// the system allows it (Windows' NT family; elsewhere nothing to do).
void ProtectLibrarySearch();
