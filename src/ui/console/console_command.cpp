#include "ui/console/console_command.h"

#include <charconv>

#include "ui/console/console_text.h"

ConsoleCommand ParseConsoleCommand(std::string_view line) {
  using Verb = ConsoleCommand::Verb;
  if (line.empty()) return {};
  const std::size_t space = line.find(' ');
  const std::string_view verb = line.substr(0, space);
  const std::string_view argument =
      space == std::string_view::npos ? std::string_view() : line.substr(space + 1);

  if (verb == "select") {
    int index = 0;
    const auto [end, ec] =
        std::from_chars(argument.data(), argument.data() + argument.size(), index);
    if (argument.empty() || ec != std::errc() || end != argument.data() + argument.size()) {
      return {Verb::Invalid, 0, "select needs an item number"};
    }
    return {Verb::Select, index, {}};
  }
  if (verb == "type") return {Verb::Type, 0, UnescapeConsoleText(argument)};
  if (verb == "click") return {Verb::Click, 0, UnescapeConsoleText(argument)};
  if (verb == "press") return {Verb::Press, 0, {}};
  if (verb == "close") return {Verb::Close, 0, {}};
  return {Verb::Invalid, 0, "unknown command: " + std::string(verb)};
}
