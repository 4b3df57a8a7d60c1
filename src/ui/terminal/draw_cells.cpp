#include "ui/terminal/draw_cells.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "ui/terminal/cell_text.h"

void PutCells(int row, int column, const std::string& text, int width, attr_t attr) {
  if (row < 0 || row >= LINES || width <= 0) return;
  int skip = 0;
  if (column < 0) {
    skip = -column;
    column = 0;
  }
  const int room = std::min(width - skip, COLS - column);
  if (room <= 0) return;
  // Cut by columns, not bytes: a wide character that does not fit whole is
  // left out, so nothing reaches past `width`.
  const std::string cells = FitColumns(text, skip, room);
  if (cells.empty()) return;
  std::vector<wchar_t> wide(cells.size() + 1, L'\0');
  const std::size_t count = std::mbstowcs(wide.data(), cells.c_str(), wide.size());
  if (count == static_cast<std::size_t>(-1)) return;  // cell text always converts
  attr_set(attr, PAIR_NUMBER(attr), nullptr);
  mvaddnwstr(row, column, wide.data(), static_cast<int>(count));
  attr_set(A_NORMAL, 0, nullptr);
}

namespace {

// Cuts a run of cells to the screen; false when nothing of it is left.
bool Clip(int row, int& column, int& width) {
  if (row < 0 || row >= LINES) return false;
  if (column < 0) {
    width += column;
    column = 0;
  }
  width = std::min(width, COLS - column);
  return width > 0;
}

}  // namespace

void FillCells(int row, int column, int width, char ch, attr_t attr) {
  if (!Clip(row, column, width)) return;
  mvhline(row, column, static_cast<chtype>(static_cast<unsigned char>(ch)) | attr, width);
}

void FillLine(int row, int column, int width, const cchar_t* line, attr_t attr) {
  if (!Clip(row, column, width)) return;
  wchar_t text[CCHARW_MAX + 1] = {};
  attr_t lineAttr = 0;
  short pair = 0;
  getcchar(line, text, &lineAttr, &pair, nullptr);
  cchar_t cell{};
  setcchar(&cell, text, lineAttr | (attr & ~A_COLOR), static_cast<short>(PAIR_NUMBER(attr)),
           nullptr);
  mvhline_set(row, column, &cell, width);
}

void DrawFrame(const Rect& r, attr_t attr, const std::string& caption, attr_t captionAttr) {
  if (r.height < 2 || r.width < 2) return;
  const int right = r.Right() - 1;
  const int bottom = r.Bottom() - 1;
  FillLine(r.top, r.left + 1, r.width - 2, WACS_HLINE, attr);
  FillLine(bottom, r.left + 1, r.width - 2, WACS_HLINE, attr);
  for (int row = r.top + 1; row < bottom; ++row) {
    FillLine(row, r.left, 1, WACS_VLINE, attr);
    FillLine(row, right, 1, WACS_VLINE, attr);
  }
  FillLine(r.top, r.left, 1, WACS_ULCORNER, attr);
  FillLine(r.top, right, 1, WACS_URCORNER, attr);
  FillLine(bottom, r.left, 1, WACS_LLCORNER, attr);
  FillLine(bottom, right, 1, WACS_LRCORNER, attr);
  if (!caption.empty()) PutCells(r.top, r.left + 2, " " + caption + " ", r.width - 4, captionAttr);
}

void ClearRect(const Rect& r, attr_t attr) {
  for (int row = r.top; row < r.Bottom(); ++row) FillCells(row, r.left, r.width, ' ', attr);
}
