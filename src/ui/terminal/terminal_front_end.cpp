#include "ui/terminal/terminal_front_end.h"

#include <curses.h>

#include <optional>

#include "app/flash_form.h"
#include "ui/terminal/draw_box.h"
#include "ui/terminal/draw_window.h"
#include "ui/terminal/layout.h"
#include "ui/terminal/window_input.h"

namespace {

class FormActions final : public WindowActions {
 public:
  explicit FormActions(TFlashForm& form) : form_(form) {}
  bool SelectComboItem(int index) override { return form_.SelectComboItem(index); }
  void TypeComboText(const std::string& text) override { form_.TypeComboText(text); }
  bool ClickFileEntry(int index) override { return form_.ClickFileEntry(index); }
  bool PressFlashButton() override { return form_.PressFlashButton(); }
  void CloseByUser() override { form_.CloseByUser(); }

 private:
  TFlashForm& form_;
};

}  // namespace

std::unique_ptr<TerminalFrontEnd> TerminalFrontEnd::Open() {
  std::unique_ptr<TerminalSession> session = TerminalSession::Open();
  if (!session) return nullptr;
  std::unique_ptr<TerminalFrontEnd> ui(new TerminalFrontEnd(std::move(session)));
  ui->Paint();
  return ui;
}

void TerminalFrontEnd::Paint() {
  // A size change that came while nothing read keys is taken on here, so a
  // running flash is drawn at the new size at its next step.
  session_->ApplyResize();
  const int rows = session_->Rows();
  const int columns = session_->Columns();
  const WindowLayout layout =
      LayoutWindow(rows, columns, state_.files.visible, state_.buttonCaption);
  DrawWindow(state_, layout, session_->Colours());
  DrawDropDown(state_, layout, session_->Colours());
  if (box_ != nullptr) DrawBox(*box_, LayoutBox(*box_, rows, columns), session_->Colours());
  PlaceCursor(state_, layout, box_ != nullptr);
  refresh();
}

void TerminalFrontEnd::Run(TFlashForm& form) {
  FormActions actions(form);
  while (!quit_ && !closed_) {
    Paint();
    const Key key = session_->ReadKey();
    if (key.Is(KeyName::EndOfInput)) break;  // the terminal is gone: close the window
    if (key.Is(KeyName::Resize)) continue;   // Paint takes it on
    const WindowLayout layout = LayoutWindow(session_->Rows(), session_->Columns(),
                                             state_.files.visible, state_.buttonCaption);
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

void TerminalFrontEnd::WindowCaptionChanged(const std::string& text) {
  state_.WindowCaptionChanged(text);
  Paint();
}
void TerminalFrontEnd::LabelChanged(const std::string& text) {
  state_.LabelChanged(text);
  Paint();
}
void TerminalFrontEnd::StatusChanged(const std::string& text) {
  state_.StatusChanged(text);
  Paint();
}
void TerminalFrontEnd::ButtonChanged(const std::string& text, bool enabled) {
  state_.ButtonChanged(text, enabled);
  Paint();
}
void TerminalFrontEnd::ProgressChanged(std::uint32_t position, std::uint32_t max) {
  state_.ProgressChanged(position, max);
  Paint();
}
void TerminalFrontEnd::ComboAdded(int index, const std::string& text) {
  state_.ComboAdded(index, text);
  Paint();
}
void TerminalFrontEnd::ComboInserted(int index, const std::string& text) {
  state_.ComboInserted(index, text);
  Paint();
}
void TerminalFrontEnd::ComboDeleted(int index) {
  state_.ComboDeleted(index);
  Paint();
}
void TerminalFrontEnd::ComboSelected(int index) {
  state_.ComboSelected(index);
  Paint();
}
void TerminalFrontEnd::FilesVisibilityChanged(bool visible) {
  state_.FilesVisibilityChanged(visible);
  Paint();
}
void TerminalFrontEnd::FilesReread(const std::vector<std::string>& names) {
  state_.FilesReread(names);
  Paint();
}
