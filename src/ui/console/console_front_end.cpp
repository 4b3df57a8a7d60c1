#include "ui/console/console_front_end.h"

#include <algorithm>

#include "app/flash_form.h"
#include "common/fixed_text.h"
#include "ui/console/console_command.h"
#include "ui/console/console_text.h"

namespace {

// Progress lines per phase, roughly; the first and last are always printed.
constexpr std::uint32_t kProgressLinesPerPhase = 100;
// The longest input line taken; a longer one is discarded whole, so input
// that never ends a line cannot grow the program's memory without bound.
constexpr std::size_t kMaxInputLine = std::size_t{64} * 1024;

const char* KindName(BoxKind kind) {
  switch (kind) {
    case BoxKind::Warning:
      return "warning";
    case BoxKind::Error:
      return "error";
    case BoxKind::Confirm:
      return "confirm";
    case BoxKind::Plain:
      break;
  }
  return "plain";
}

bool IsYes(std::string answer) {
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](char c) { return fixed_text::LowerAscii(c); });
  return answer == "yes";
}

}  // namespace

void ConsoleFrontEnd::Line(const std::string& text) {
  FlushProgress();
  // Each line leaves at once: a script driving the program follows the
  // flash as it goes, and nothing is lost if the program ends.
  lines_.Write(EscapeConsoleText(text) + '\n');
  lines_.Flush();
}

void ConsoleFrontEnd::FlushProgress() {
  if (!heldPosition_) return;
  const std::uint32_t position = *heldPosition_;
  heldPosition_.reset();
  printedPosition_ = position;
  lines_.Write("progress: " + std::to_string(position) + '/' + std::to_string(progressMax_) + '\n');
  lines_.Flush();
}

bool ConsoleFrontEnd::ReadLine(std::string& line) {
  FlushProgress();
  lines_.Flush();
  switch (lines_.ReadLine(line, kMaxInputLine)) {
    case LineRead::Read:
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    case LineRead::TooLong:
      Line("error: line longer than " + std::to_string(kMaxInputLine) + " bytes, ignored");
      line.clear();
      return true;
    case LineRead::End:
      break;
  }
  return false;
}

BoxAnswer ConsoleFrontEnd::ShowMessage(const std::string& text, BoxKind kind, BoxButtons buttons) {
  const bool yesNo = buttons == BoxButtons::YesNo;
  Line(std::string("box ") + KindName(kind) + (yesNo ? " yesno" : " ok"));
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find('\n', start);
    Line("| " + text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  Line("box end");
  std::string answer;
  const bool answered = ReadLine(answer);
  if (!yesNo) return BoxAnswer::Ok;
  return answered && IsYes(answer) ? BoxAnswer::Yes : BoxAnswer::No;
}

void ConsoleFrontEnd::SetCursor(CursorShape cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  Line(cursor == CursorShape::Busy ? "cursor: busy" : "cursor: default");
}

void ConsoleFrontEnd::PostQuit() { quit_ = true; }

void ConsoleFrontEnd::WindowCaptionChanged(const std::string& caption) {
  Line("caption: " + caption);
}
void ConsoleFrontEnd::LabelChanged(const std::string& caption) { Line("label: " + caption); }
void ConsoleFrontEnd::StatusChanged(const std::string& caption) { Line("status: " + caption); }

void ConsoleFrontEnd::ButtonChanged(const std::string& caption, bool enabled) {
  Line("button: " + caption + (enabled ? " enabled" : " disabled"));
}

void ConsoleFrontEnd::ProgressChanged(std::uint32_t position, std::uint32_t max) {
  // A new maximum starts a new phase: its first position is always shown,
  // and so is the last position of the phase before.
  const bool newPhase = max != progressMax_;
  if (newPhase) {
    FlushProgress();
    progressMax_ = max;
  }
  const std::uint32_t stride = std::max<std::uint32_t>(1, max / kProgressLinesPerPhase);
  const std::uint32_t moved =
      position > printedPosition_ ? position - printedPosition_ : printedPosition_ - position;
  if (newPhase || position == 0 || position >= max || moved >= stride) {
    heldPosition_ = position;
    FlushProgress();
  } else {
    heldPosition_ = position;
  }
}

void ConsoleFrontEnd::ComboAdded(int index, const std::string& text) {
  Line("combo add " + std::to_string(index) + ": " + text);
}
void ConsoleFrontEnd::ComboInserted(int index, const std::string& text) {
  Line("combo insert " + std::to_string(index) + ": " + text);
}
void ConsoleFrontEnd::ComboDeleted(int index) { Line("combo delete " + std::to_string(index)); }
void ConsoleFrontEnd::ComboSelected(int index) { Line("combo select " + std::to_string(index)); }
void ConsoleFrontEnd::FilesVisibilityChanged(bool visible) {
  Line(visible ? "files visible" : "files hidden");
}
void ConsoleFrontEnd::FilesReread(const std::vector<std::string>& names) {
  Line("files:");
  for (const std::string& name : names) Line("file: " + name);
}

void ConsoleFrontEnd::Dispatch(TFlashForm& form, const std::string& line) {
  using Verb = ConsoleCommand::Verb;
  const ConsoleCommand command = ParseConsoleCommand(line);
  switch (command.verb) {
    case Verb::None:
      break;
    case Verb::Select:
      if (!form.SelectComboItem(command.index)) {
        Line("error: no combo item " + std::to_string(command.index));
      }
      break;
    case Verb::Type:
      form.TypeComboText(command.text);
      break;
    case Verb::Click: {
      const auto& items = form.FileListBox1.Items();
      const auto found = std::find(items.begin(), items.end(), command.text);
      const int index = found == items.end() ? -1 : static_cast<int>(found - items.begin());
      if (!form.ClickFileEntry(index)) Line("error: file list hidden");
      break;
    }
    case Verb::Press:
      if (!form.PressFlashButton()) Line("error: button disabled");
      break;
    case Verb::Close:
      form.CloseByUser();
      break;
    case Verb::Invalid:
      Line("error: " + command.text);
      break;
  }
}

void ConsoleFrontEnd::Run(TFlashForm& form) {
  std::string line;
  while (!quit_ && !closed_) {
    if (!ReadLine(line)) break;  // end of input closes the window
    Dispatch(form, line);
  }
  Line("quit");
  lines_.Flush();
}
