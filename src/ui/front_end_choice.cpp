#include "ui/front_end_choice.h"

#include <unistd.h>

#include <iostream>

#include "ui/console/console_front_end.h"
#include "ui/terminal/terminal_front_end.h"

std::unique_ptr<FrontEnd> ChooseFrontEnd() {
  // A person at a terminal gets the window; a terminal that cannot show it
  // (an unknown TERM) still gets the program, through the console.
  if (isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1) {
    if (std::unique_ptr<FrontEnd> window = TerminalFrontEnd::Open()) return window;
  }
  return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
}
