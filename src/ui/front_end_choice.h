// The one place that decides which front-end shows the window.
#pragma once

#include <memory>

#include "app/front_end.h"

// The console front-end whenever standard input is a pipe or a file (scripts
// and tests drive the program that way); otherwise, on Windows, the native
// window, and elsewhere the console front-end as well.
std::unique_ptr<FrontEnd> ChooseFrontEnd();
