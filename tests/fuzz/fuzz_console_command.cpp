// The console protocol over arbitrary text: the command parser, the escape
// that keeps data from breaking or forging a line, and the lines the
// front-end prints for data. Input: a command line, a NUL, then text that
// stands for a drive's identification, file names and a box's text.
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "support/stream_lines.h"
#include "ui/console/console_command.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_text.h"

namespace {

using Verb = ConsoleCommand::Verb;

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

void CheckParser(const std::string& line, std::uint32_t number) {
  const ConsoleCommand command = ParseConsoleCommand(line);
  FUZZ_CHECK((command.verb == Verb::None) == line.empty());
  if (command.verb == Verb::Invalid) FUZZ_CHECK(!command.text.empty());
  if (command.verb == Verb::Type || command.verb == Verb::Click) {
    FUZZ_CHECK(command.text.size() <= line.size());
  }
  // Any number a script writes selects that item.
  const int index = static_cast<int>(number);
  const ConsoleCommand select = ParseConsoleCommand("select " + std::to_string(index));
  FUZZ_CHECK(select.verb == Verb::Select && select.index == index);
}

void CheckEscape(const std::string& text) {
  const std::string escaped = EscapeConsoleText(text);
  for (const char c : escaped) FUZZ_CHECK(!IsControl(c));
  FUZZ_CHECK(UnescapeConsoleText(escaped) == text);
  FUZZ_CHECK(UnescapeConsoleText(text).size() <= text.size());
  // A name copied from a "file:" line clicks that very name.
  const ConsoleCommand click = ParseConsoleCommand("click " + escaped);
  FUZZ_CHECK(click.verb == Verb::Click && click.text == text);
}

std::vector<std::string> Lines(const std::string& out) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(out.substr(start, end - start));
  }
  FUZZ_CHECK(start == out.size());  // every line ends with its line feed
  return lines;
}

// Data shown by the front-end stays on the lines it belongs to.
void CheckFrontEnd(const std::string& text, const std::string& answer) {
  std::istringstream in(answer);
  std::ostringstream out;
  StreamLines streams(in, out);
  ConsoleFrontEnd ui(streams);
  ui.ComboAdded(0, text);
  ui.FilesReread({text, text});
  const BoxAnswer reply = ui.ShowMessage(text, BoxKind::Error, BoxButtons::YesNo);
  const auto lines = Lines(out.str());

  std::vector<std::string> boxLines;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    boxLines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  FUZZ_CHECK(lines.size() == 1 + 3 + 2 + boxLines.size());
  for (const std::string& line : lines) {
    for (const char c : line) FUZZ_CHECK(!IsControl(c));
  }
  FUZZ_CHECK(lines[0] == "combo add 0: " + EscapeConsoleText(text));
  FUZZ_CHECK(lines[2] == "file: " + EscapeConsoleText(text) && lines[3] == lines[2]);
  FUZZ_CHECK(lines[4] == "box error yesno" && lines.back() == "box end");
  for (std::size_t i = 0; i < boxLines.size(); ++i) {
    FUZZ_CHECK(lines[5 + i].rfind("| ", 0) == 0);
    FUZZ_CHECK(UnescapeConsoleText(lines[5 + i].substr(2)) == boxLines[i]);
  }
  std::string first = answer.substr(0, answer.find('\n'));
  if (!first.empty() && first.back() == '\r') first.pop_back();
  FUZZ_CHECK((reply == BoxAnswer::Yes) == (fuzz::Lower(first) == "yes"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint32_t number = in.Word();
  const std::string line = in.Until('\0');
  const std::string text = in.Until('\0');
  const std::string answer = in.Rest();
  CheckParser(line, number);
  CheckEscape(text);
  CheckEscape(line);
  CheckFrontEnd(text, answer);
  return 0;
}
