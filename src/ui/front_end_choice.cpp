#include "ui/front_end_choice.h"

#include <iostream>

#include "ui/console/console_front_end.h"
#include "ui/scripted_input.h"

std::unique_ptr<FrontEnd> ChooseFrontEnd() {
  if (StandardInputIsScripted()) {
    return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
  }
  // A person at the keyboard: the console too, until a window or terminal
  // front-end takes this branch.
  return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
}
