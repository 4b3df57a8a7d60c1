// The terminal while the window is on it: curses started on the program's
// own standard input and output, the terminal given back on every way out
// (normal end, a termination signal, a crash) and while the program is
// stopped, and size changes noticed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/terminal/keys.h"
#include "ui/terminal/palette.h"

class TerminalSession {
 public:
  // Nothing when the terminal cannot show the window (an unknown TERM, a
  // terminal without cursor addressing); the terminal is then untouched.
  static std::unique_ptr<TerminalSession> Open();
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  const Palette& Colours() const { return palette_; }
  int Rows() const;
  int Columns() const;

  // Takes on a size change that arrived since the last call. True when it did.
  bool ApplyResize();
  // Blocks until a key, a click, a size change or the end of input.
  Key ReadKey();
  // Stops the program here, the terminal given back, when a stop was
  // requested (SIGTSTP) and is no longer held; true once it went on again,
  // with the screen to be drawn afresh.
  bool StopIfRequested();
  // Forgets keys typed before now (while a long operation ran), so they
  // cannot answer a box they were not meant for.
  void DiscardTypeAhead();

 private:
  TerminalSession() = default;
  Key Translate(int ch);
  bool InputGone();

  Palette palette_;
  std::string previousLocale_;
  int failedReads_ = 0;
  std::vector<int> altDownCodes_;
};
