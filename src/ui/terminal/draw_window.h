// Draws the window's controls (and its open drop-down list) on the
// standard screen.
#pragma once

#include "ui/terminal/layout.h"
#include "ui/terminal/palette.h"
#include "ui/terminal/window_state.h"

void DrawWindow(WindowState& state, const WindowLayout& layout, const Palette& palette);
void DrawDropDown(WindowState& state, const WindowLayout& layout, const Palette& palette);
// Where the terminal's cursor belongs: the edit caret, or hidden.
void PlaceCursor(const WindowState& state, const WindowLayout& layout, bool boxOpen);
