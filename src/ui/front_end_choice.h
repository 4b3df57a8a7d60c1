// The one place that decides which front-end shows the window.
#pragma once

#include <memory>

#include "app/front_end.h"

// The console front-end whenever standard input is a pipe or a file (scripts
// and tests drive the program that way). Otherwise the native window on
// Windows; elsewhere the terminal window when standard output is a terminal
// too, and the console front-end when it is not.
std::unique_ptr<FrontEnd> ChooseFrontEnd();
