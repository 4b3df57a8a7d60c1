// Drawing on the standard screen that never reaches past its edges, so a
// screen smaller than the window only clips it.
#pragma once

#include <curses.h>

#include <string>

#include "ui/terminal/layout.h"

// Puts at most `width` columns of `text` (already cell text) at row, column.
void PutCells(int row, int column, const std::string& text, int width, attr_t attr);
// `width` copies of `ch`.
void FillCells(int row, int column, int width, char ch, attr_t attr);
// `width` copies of a line-drawing character (WACS_HLINE and its kin): the
// terminal's own lines where the character set has them, the alternate
// character set otherwise.
void FillLine(int row, int column, int width, const cchar_t* line, attr_t attr);
// A line frame around `r`, with `caption` in its top border when not empty.
void DrawFrame(const Rect& r, attr_t attr, const std::string& caption, attr_t captionAttr);
// Blanks `r`.
void ClearRect(const Rect& r, attr_t attr);
