// The window's answer to each key and click while no box is open. It goes
// through the form's action methods only, so the terminal shares the one
// input path of every front-end.
#pragma once

#include <string>

#include "ui/terminal/keys.h"
#include "ui/terminal/layout.h"
#include "ui/terminal/window_state.h"

// The user's actions on the window (TFlashForm's action methods).
class WindowActions {
 public:
  virtual ~WindowActions() = default;
  virtual bool SelectComboItem(int index) = 0;
  virtual void TypeComboText(const std::string& text) = 0;
  virtual bool ClickFileEntry(int index) = 0;
  virtual bool PressFlashButton() = 0;
  virtual void CloseByUser() = 0;
};

// `layout` is where the window is drawn now (for clicks and page sizes).
void HandleWindowKey(const Key& key, WindowState& state, const WindowLayout& layout, int rows,
                     WindowActions& actions);

// Scrolls `top` so that `highlight` lies within `visibleRows` rows.
int ScrollToShow(int top, int highlight, int visibleRows, int count);
