// The one place that decides which front-end shows the window.
#pragma once

#include <memory>

#include "app/front_end.h"

// Outside Windows, the terminal window when standard input and output are
// both terminals; the console front-end otherwise (a pipe or a file: scripts
// and tests drive the program that way).
std::unique_ptr<FrontEnd> ChooseFrontEnd();
