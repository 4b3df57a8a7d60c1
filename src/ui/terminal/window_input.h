// The window's answer to each key and click while no box is open. It goes
// through the form's action methods only, so the terminal shares the one
// input path of every front-end.
#pragma once

#include "app/form_actions.h"
#include "ui/terminal/keys.h"
#include "ui/terminal/layout.h"
#include "ui/terminal/window_state.h"

// `layout` is where the window is drawn now (for clicks and page sizes).
void HandleWindowKey(const Key& key, WindowState& state, const WindowLayout& layout, int rows,
                     FormActions& actions);

// Scrolls `top` so that `highlight` lies within `visibleRows` rows.
int ScrollToShow(int top, int highlight, int visibleRows, int count);
