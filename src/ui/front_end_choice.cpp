#include "ui/front_end_choice.h"

#include <iostream>

#include "ui/console/console_front_end.h"
#include "ui/scripted_input.h"

#ifdef _WIN32
#include <windows.h>

#include "ui/win32/win32_front_end.h"

namespace {

// A pipe or a file on standard input means a script drives the program; a
// double click leaves it without either.
bool InputIsScripted() {
  const DWORD type = GetFileType(GetStdHandle(STD_INPUT_HANDLE));
  return type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK;
}

}  // namespace

std::unique_ptr<FrontEnd> ChooseFrontEnd() {
  if (InputIsScripted()) return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
  return std::make_unique<Win32FrontEnd>();
}

#else

std::unique_ptr<FrontEnd> ChooseFrontEnd() {
  if (StandardInputIsScripted()) {
    return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
  }
  // A person at the keyboard: the console too, until a window or terminal
  // front-end takes this branch.
  return std::make_unique<ConsoleFrontEnd>(std::cin, std::cout);
}

#endif
