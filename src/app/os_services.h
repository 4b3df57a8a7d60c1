// The few things the program asks of the operating system outside the
// device layer.
#pragma once

#include <string>

// The running executable's full path ("" when the system cannot tell).
std::string SelfExecutablePath();
// The process's current directory.
std::string CurrentDirectory();
// Asks for a restart of the machine. False when the system took no request,
// so the user has to restart it.
bool RestartSystem();
