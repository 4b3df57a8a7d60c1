#include "ui/front_end_choice.h"

#include <iostream>

#include "ui/console/console_front_end.h"
#include "ui/scripted_input.h"

#ifdef _WIN32
#include "ui/win32/win32_front_end.h"
#endif

std::unique_ptr<FrontEnd> ChooseFrontEnd() {
  if (StandardInputIsScripted()) {
    return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
  }
#ifdef _WIN32
  return std::make_unique<Win32FrontEnd>();
#else
  // A person at the keyboard: the console too, until a terminal front-end
  // takes this branch.
  return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
#endif
}
