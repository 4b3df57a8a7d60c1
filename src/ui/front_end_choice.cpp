#include "ui/front_end_choice.h"

#include <iostream>

#include "ui/console/console_front_end.h"

std::unique_ptr<FrontEnd> ChooseFrontEnd() {
  return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
}
