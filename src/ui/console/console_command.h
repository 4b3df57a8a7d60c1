// One input line of the console protocol, parsed without touching the form.
#pragma once

#include <string>
#include <string_view>

struct ConsoleCommand {
  enum class Verb { None, Select, Type, Click, Press, Close, Invalid };
  Verb verb = Verb::None;  // None: an empty line, which is ignored
  int index = 0;           // Select: the combo item
  std::string text;        // Type, Click: the unescaped argument; Invalid: the reason
};

ConsoleCommand ParseConsoleCommand(std::string_view line);
