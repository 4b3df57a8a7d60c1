#include "ui/terminal/terminal_description.h"

#include <curses.h>
#include <term.h>
#include <unistd.h>

#include <cstdint>

const char* TerminalCapability(const char* name) {
  const char* value = tigetstr(const_cast<char*>(name));
  // Null when the description lacks it, -1 for a name that is no string.
  if (value == nullptr || reinterpret_cast<std::intptr_t>(value) == -1) return nullptr;
  return value;
}

bool TerminalCanShowWindow() {
  int error = 0;
  // With an error code to fill, setupterm prints nothing and never exits.
  if (setupterm(nullptr, STDOUT_FILENO, &error) != OK) return false;
  const bool addressable = TerminalCapability("cup") != nullptr;
  const bool generic = tigetflag(const_cast<char*>("gn")) > 0;
  const bool hardCopy = tigetflag(const_cast<char*>("hc")) > 0;
  del_curterm(cur_term);  // the window starts its own screen on it
  return addressable && !generic && !hardCopy;
}
