#include "ui/terminal/terminal_front_end.h"

#include <curses.h>

#include <optional>

#include "ui/terminal/draw_box.h"
#include "ui/terminal/draw_window.h"
#include "ui/terminal/layout.h"
#include "ui/terminal/window_input.h"

std::unique_ptr<TerminalFrontEnd> TerminalFrontEnd::Open() {
  std::unique_ptr<TerminalSession> session = TerminalSession::Open();
  if (!session) return nullptr;
  std::unique_ptr<TerminalFrontEnd> ui(new TerminalFrontEnd(std::move(session)));
  ui->Paint();
  return ui;
}

void TerminalFrontEnd::Paint() {
  // A size change that came while nothing read keys is taken on here, so a
  // running flash is drawn at the new size at its next step. A stop that
  // was held while the flash ran takes its course at the first step after.
  session_->StopIfRequested();
  session_->ApplyResize();
  const int rows = session_->Rows();
  const int columns = session_->Columns();
  const WindowLayout layout =
      LayoutWindow(rows, columns, state_.picture.filesVisible, state_.picture.buttonCaption);
  DrawWindow(state_, layout, session_->Colours());
  DrawDropDown(state_, layout, session_->Colours());
  if (box_ != nullptr) DrawBox(*box_, LayoutBox(*box_, rows, columns), session_->Colours());
  PlaceCursor(state_, layout, box_ != nullptr);
  refresh();
}

void TerminalFrontEnd::Run(FormActions& actions) {
  while (!quit_ && !closed_) {
    Paint();
    const Key key = session_->ReadKey();
    if (key.Is(KeyName::EndOfInput)) break;  // the terminal is gone: close the window
    if (key.Is(KeyName::Resize)) continue;   // Paint takes it on
    const WindowLayout layout =
        LayoutWindow(session_->Rows(), session_->Columns(), state_.picture.filesVisible,
                     state_.picture.buttonCaption);
    HandleWindowKey(key, state_, layout, session_->Rows(), actions);
  }
}

BoxAnswer TerminalFrontEnd::ShowMessage(const std::string& text, BoxKind kind, BoxButtons buttons) {
  MessageBoxView box{kind, buttons, text, 0};
  MessageBoxView* outer = box_;
  box_ = &box;
  state_.combo.listOpen = false;
  session_->DiscardTypeAhead();
  std::optional<BoxAnswer> answer;
  while (!answer) {
    Paint();
    const Key key = session_->ReadKey();
    if (key.Is(KeyName::Resize)) continue;
    answer = HandleBoxKey(key, box, LayoutBox(box, session_->Rows(), session_->Columns()));
  }
  box_ = outer;
  Paint();
  return *answer;
}

void TerminalFrontEnd::SetCursor(CursorShape cursor) {
  state_.busy = cursor == CursorShape::Busy;
  Paint();
}

void TerminalFrontEnd::PictureChanged(const PictureChange& change) {
  state_.Follow(change);
  Paint();
}
