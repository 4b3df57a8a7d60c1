#include "ui/front_end_choice.h"

#include "ui/console/console_front_end.h"
#include "ui/scripted_input.h"

#ifdef _WIN32
#include "ui/win32/win32_front_end.h"
#else
#include <unistd.h>

#include "ui/terminal/terminal_front_end.h"
#endif

namespace {
StdioLines standardLines;
}  // namespace

std::unique_ptr<FrontEnd> ChooseFrontEnd() {
  if (StandardInputIsScripted()) {
    return std::make_unique<ConsoleFrontEnd>(standardLines);
  }
#ifdef _WIN32
  return std::make_unique<Win32FrontEnd>();
#else
  // A person at a terminal gets the window, when the output goes to that
  // terminal too. A terminal that cannot show it (an unknown TERM) still
  // gets the program, through the console.
  if (isatty(STDOUT_FILENO) == 1) {
    if (std::unique_ptr<FrontEnd> window = TerminalFrontEnd::Open()) return window;
  }
  return std::make_unique<ConsoleFrontEnd>(standardLines);
#endif
}
