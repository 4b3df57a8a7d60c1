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

  void Run(FormActions& actions) override;

  // FormHost
  BoxAnswer ShowMessage(const std::string& text, BoxKind kind, BoxButtons buttons) override;
  void SetCursor(CursorShape cursor) override;
  void Repaint() override { Paint(); }
  void CloseWindow() override { closed_ = true; }
  void PostQuit() override { quit_ = true; }

 private:
  explicit TerminalFrontEnd(std::unique_ptr<TerminalSession> session)
      : session_(std::move(session)) {}
  // The terminal's own state follows the picture, then the screen does.
  void PictureChanged(const PictureChange& change) override;
  void Paint();

  std::unique_ptr<TerminalSession> session_;
  WindowState state_{Picture()};
  MessageBoxView* box_ = nullptr;  // the open box, drawn over the window
  bool quit_ = false;
  bool closed_ = false;
};
