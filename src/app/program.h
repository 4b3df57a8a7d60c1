// The program's run from start to end: the window and its event loop, shown
// by whichever front-end the program entry chose.
#pragma once

#include <functional>

class FrontEnd;

// Returns the exit code, 0 on every path. `restart` is what a Yes to the
// restart question does (false: the system took no request): the system's
// forced restart unless a caller passes something else.
int RunProgram(FrontEnd& ui, std::function<bool()> restart = {});
