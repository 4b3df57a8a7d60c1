// The Linux side of the program entry's services, open to tests.
#pragma once

#include <functional>

// Asks for a clean restart (services stopped, file systems unmounted) with
// the system's own restart commands, in turn, until one accepts: `run` runs
// one shell command and answers its status as std::system does. False when
// none accepted. It never restarts through the kernel directly: that would
// skip everything a clean restart does.
bool RequestCleanRestart(const std::function<int(const char* command)>& run);
