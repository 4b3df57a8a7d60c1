// The program's run from start to end: front-end, window, event loop.
#pragma once

#include <functional>

// Returns the exit code, 0 on every path. `restart` is what a Yes to the
// restart question does: the system's forced restart, unless a caller (the
// demo) must never restart the machine it runs on.
int RunProgram(std::function<void()> restart = {});
