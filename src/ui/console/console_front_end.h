// The line-oriented front-end: every change of the window is one line on the
// output, boxes read their answer from the input, and the input drives the
// window while it is idle. Scripts depend on this protocol; keep it exact.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/front_end.h"
#include "ui/console/console_lines.h"

class ConsoleFrontEnd final : public FrontEnd {
 public:
  explicit ConsoleFrontEnd(ConsoleLines& lines) : lines_(lines) {}

  // Runs the event loop until a quit request or the window's close.
  void Run(FormActions& actions) override;

  // FormHost
  BoxAnswer ShowMessage(const std::string& text, BoxKind kind, BoxButtons buttons) override;
  void SetCursor(CursorShape cursor) override;
  void Repaint() override {}
  void CloseWindow() override { closed_ = true; }
  void PostQuit() override;

  bool QuitRequested() const { return quit_; }
  CursorShape Cursor() const { return cursor_; }

 private:
  // One line for each report of the controls, typed text aside.
  void PictureChanged(const PictureChange& change) override;
  void ShowProgress(std::uint32_t position, std::uint32_t max);
  void Line(const std::string& text);
  void FlushProgress();
  // False at the end of input. A line over the length limit is reported
  // and read as an empty line.
  bool ReadLine(std::string& line);
  void Dispatch(FormActions& actions, const std::string& line);

  ConsoleLines& lines_;
  bool quit_ = false;
  bool closed_ = false;
  CursorShape cursor_ = CursorShape::Default;
  // Progress thinning: the last position printed and one held back.
  std::uint32_t progressMax_ = 100;
  std::uint32_t printedPosition_ = 0;
  std::optional<std::uint32_t> heldPosition_;
};
