// A modal message box: its title by kind, its lines fitted to the screen,
// where it lies, and its answer to each key. Drawing is elsewhere.
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
  int selected = 0;  // 0: OK or Yes, 1: No
};

// "Warning", "Error", "Confirm", or empty for a plain box.
const char* BoxTitle(BoxKind kind);

struct BoxLayout {
  Rect frame;
  std::vector<std::string> lines;  // the text lines that fit, in cells
  int buttonRow = 0;
  Rect yesOrOk;
  Rect no;  // empty for an OK box
};

// Centred on a rows x columns screen; lines wider than the screen are
// wrapped; when the screen is too low the text is cut and the buttons stay.
BoxLayout LayoutBox(const MessageBoxView& box, int rows, int columns);

// The answer a key or click gives, or nothing while the box stays open.
// Left, Right and Tab move between Yes and No.
std::optional<BoxAnswer> HandleBoxKey(const Key& key, MessageBoxView& box, const BoxLayout& layout);
