// The full-screen terminal window: the form's controls in character cells,
// keys and mouse clicks as the user's actions, message boxes drawn over the
// window. Everything the form reports is drawn at once, as the flash
// sequence never returns to the event loop while it runs.
#pragma once

#include <memory>

#include "app/front_end.h"
#include "ui/terminal/message_box.h"
#include "ui/terminal/terminal_session.h"
#include "ui/terminal/window_state.h"

class TerminalFrontEnd final : public FrontEnd {
 public:
  // Nothing when the terminal cannot show the window.
  static std::unique_ptr<TerminalFrontEnd> Open();

  void Run(TFlashForm& form) override;

  // FormHost
  BoxAnswer ShowMessage(const std::string& text, BoxKind kind, BoxButtons buttons) override;
  void SetCursor(CursorShape cursor) override;
  void Repaint() override { Paint(); }
  void CloseWindow() override { closed_ = true; }
  void PostQuit() override { quit_ = true; }

  // ControlObserver: the state follows the control, then the screen follows.
  void WindowCaptionChanged(const std::string& text) override;
  void LabelChanged(const std::string& text) override;
  void StatusChanged(const std::string& text) override;
  void ButtonChanged(const std::string& text, bool enabled) override;
  void ProgressChanged(std::uint32_t position, std::uint32_t max) override;
  void ComboAdded(int index, const std::string& text) override;
  void ComboInserted(int index, const std::string& text) override;
  void ComboDeleted(int index) override;
  void ComboSelected(int index) override;
  void FilesVisibilityChanged(bool visible) override;
  void FilesReread(const std::vector<std::string>& names) override;

 private:
  explicit TerminalFrontEnd(std::unique_ptr<TerminalSession> session)
      : session_(std::move(session)) {}
  void Paint();

  std::unique_ptr<TerminalSession> session_;
  WindowState state_;
  MessageBoxView* box_ = nullptr;  // the open box, drawn over the window
  bool quit_ = false;
  bool closed_ = false;
};
