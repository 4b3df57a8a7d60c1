#include "ui/console/console_front_end.h"

#include <algorithm>

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
  // Lines typed while a flash ran were meant for no box yet.
  lines_.DiscardTypeAhead();
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

void ConsoleFrontEnd::PictureChanged(const PictureChange& change) {
  using Part = PictureChange::Part;
  const WindowPicture& p = Picture();
  const std::string index = std::to_string(change.index);
  switch (change.part) {
    case Part::Caption:
      Line("caption: " + p.caption);
      break;
    case Part::Label:
      Line("label: " + p.label);
      break;
    case Part::Status:
      Line("status: " + p.status);
      break;
    case Part::Button:
      Line("button: " + p.buttonCaption + (p.buttonEnabled ? " enabled" : " disabled"));
      break;
    case Part::Progress:
      ShowProgress(p.position, p.max);
      break;
    case Part::ComboAdded:
      Line("combo add " + index + ": " + p.comboItems[static_cast<std::size_t>(change.index)]);
      break;
    case Part::ComboInserted:
      Line("combo insert " + index + ": " + p.comboItems[static_cast<std::size_t>(change.index)]);
      break;
    case Part::ComboDeleted:
      Line("combo delete " + index);
      break;
    case Part::ComboSelected:
      Line("combo select " + index);
      break;
    case Part::ComboText:
      break;  // a script sees what it typed; a selection's text is its item
    case Part::FilesVisibility:
      Line(p.filesVisible ? "files visible" : "files hidden");
      break;
    case Part::Files:
      Line("files:");
      for (const std::string& name : p.fileNames) Line("file: " + name);
      break;
  }
}

void ConsoleFrontEnd::ShowProgress(std::uint32_t position, std::uint32_t max) {
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

void ConsoleFrontEnd::Dispatch(FormActions& actions, const std::string& line) {
  using Verb = ConsoleCommand::Verb;
  const ConsoleCommand command = ParseConsoleCommand(line);
  switch (command.verb) {
    case Verb::None:
      break;
    case Verb::Select:
      if (!actions.SelectComboItem(command.index)) {
        Line("error: no combo item " + std::to_string(command.index));
      }
      break;
    case Verb::Type:
      actions.TypeComboText(command.text);
      break;
    case Verb::Click: {
      const auto& items = Picture().fileNames;
      const auto found = std::find(items.begin(), items.end(), command.text);
      // A name that is not in the list chooses nothing, as a click beside
      // the list's entries would not.
      if (found == items.end() && Picture().filesVisible) {
        Line("error: no file " + command.text);
        break;
      }
      const int index = found == items.end() ? -1 : static_cast<int>(found - items.begin());
      if (!actions.ClickFileEntry(index)) Line("error: file list hidden");
      break;
    }
    case Verb::Press:
      if (!actions.PressFlashButton()) Line("error: button disabled");
      break;
    case Verb::Close:
      actions.CloseByUser();
      break;
    case Verb::Invalid:
      Line("error: " + command.text);
      break;
  }
}

void ConsoleFrontEnd::Run(FormActions& actions) {
  std::string line;
  while (!quit_ && !closed_) {
    if (!ReadLine(line)) break;  // end of input closes the window
    Dispatch(actions, line);
  }
  Line("quit");
  lines_.Flush();
}
