#include "ui/front_end_choice.h"

#include <iostream>

#include "ui/console/console_front_end.h"
#include "ui/scripted_input.h"

#if !defined(_WIN32)
#include <unistd.h>

#include "ui/terminal/terminal_front_end.h"
#endif

std::unique_ptr<FrontEnd> ChooseFrontEnd() {
  if (StandardInputIsScripted()) {
    return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
  }
#if !defined(_WIN32)
  // A person at a terminal gets the window, when the output goes to that
  // terminal too. A terminal that cannot show it (an unknown TERM) still
  // gets the program, through the console.
  if (isatty(STDOUT_FILENO) == 1) {
    if (std::unique_ptr<FrontEnd> window = TerminalFrontEnd::Open()) return window;
  }
#endif
  // A person at the keyboard: the console too, until a window front-end
  // takes this branch.
  return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
}
