// A modal message box: its title by kind, its lines fitted to the screen,
// where it lies, and its answer to each key. Drawing is elsewhere. A text
// taller than the screen scrolls, and the box gives no Yes (nor OK) before
// its last line has been on the screen: the keys that would give it show
// the next page instead, so nobody agrees to a text they could not see.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/dialog.h"
#include "ui/terminal/keys.h"
#include "ui/terminal/layout.h"

struct MessageBoxView {
  BoxKind kind = BoxKind::Plain;
  BoxButtons buttons = BoxButtons::Ok;
  std::string text;
  int selected = 0;      // 0: OK or Yes, 1: No
  int top = 0;           // the first text line shown
  bool seenEnd = false;  // the last text line has been shown
};

// "Warning", "Error", "Confirm", or empty for a plain box.
const char* BoxTitle(BoxKind kind);

struct BoxLayout {
  Rect frame;
  std::vector<std::string> lines;  // all the text's lines, wrapped, in cells
  int first = 0;                   // the first line shown
  int textRows = 0;                // rows for text: all lines, or what fits
  int buttonRow = 0;
  Rect yesOrOk;
  Rect no;  // empty for an OK box

  bool Scrolls() const { return textRows < static_cast<int>(lines.size()); }
  bool ShowsEnd() const {
    return textRows > 0 && first + textRows >= static_cast<int>(lines.size());
  }
  // No line of the text fits: the box asks for a larger terminal instead,
  // and only No (or OK by Escape) answers it until then.
  bool TooLow() const { return textRows == 0 && !lines.empty(); }
};

// Centred on a rows x columns screen; lines wider than the screen are
// wrapped; when the screen is too low the text scrolls (from `box.top`) and
// the buttons stay.
BoxLayout LayoutBox(const MessageBoxView& box, int rows, int columns);

// The answer a key or click gives, or nothing while the box stays open.
// Left, Right and Tab move between Yes and No; Up, Down, PageUp, PageDown,
// Home and End scroll a text taller than the screen. `layout` is the box as
// it is on the screen now.
std::optional<BoxAnswer> HandleBoxKey(const Key& key, MessageBoxView& box, const BoxLayout& layout);
