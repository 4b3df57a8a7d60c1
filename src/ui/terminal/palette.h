// The looks of the window's parts: colours where the terminal has them,
// otherwise attributes every terminal can show.
#pragma once

#include <curses.h>

#include "common/dialog.h"

struct Palette {
  attr_t window = A_NORMAL;
  attr_t title = A_REVERSE;
  attr_t focused = A_REVERSE;  // the focused entry or button
  attr_t highlight = A_BOLD;   // the list highlight while the list has no focus
  attr_t field = A_UNDERLINE;  // the combo box's edit field
  attr_t disabled = A_DIM;
  attr_t bar = A_REVERSE;  // the filled part of the progress bar
  attr_t help = A_DIM;
  attr_t box[4] = {A_REVERSE, A_REVERSE, A_REVERSE, A_REVERSE};  // by BoxKind
  attr_t boxTitle = A_BOLD;

  attr_t Box(BoxKind kind) const { return box[static_cast<int>(kind)]; }
};

// Starts colours when the terminal has them; call once after the screen starts.
Palette MakePalette();
