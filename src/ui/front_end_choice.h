// The one place that decides which front-end shows the window.
#pragma once

#include <memory>

#include "app/front_end.h"

// The console front-end whenever standard input is not a terminal (a pipe
// or a file: scripts and tests drive the program that way).
std::unique_ptr<FrontEnd> ChooseFrontEnd();
