#include "ui/terminal/draw_window.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/terminal/cell_text.h"
#include "ui/terminal/draw_cells.h"
#include "ui/terminal/window_input.h"

namespace {

constexpr char kBusyMark[] = " Busy ";
constexpr char kHelp[] = " Tab move  Up/Down/F4 choose  Enter/Space click, press  F10/Ctrl-Q quit";

template <typename Sized>
int Size(const Sized& s) {
  return static_cast<int>(s.size());
}

void DrawTitle(const WindowState& state, const Rect& r, const Palette& p) {
  FillCells(r.top, r.left, r.width, ' ', p.title);
  const std::string caption = CellText(state.picture.caption);
  const std::string mark = kBusyMark;
  const int busy = state.busy ? Size(mark) : 0;
  const int room = std::max(r.width - 2 * busy, 0);
  const int at = r.left + busy + std::max((room - Columns(caption)) / 2, 0);
  PutCells(r.top, at, caption, room, p.title);
  if (state.busy) PutCells(r.top, r.Right() - busy, mark, busy, p.title | A_BLINK);
}

// The edit field fills the combo box but its last cells, which hold the
// drop-down mark; a long text scrolls to keep the caret in view.
struct ComboField {
  int width = 0;        // columns of the edit field
  int shift = 0;        // columns of the text scrolled off to the left
  int caretColumn = 0;  // in the text
};

ComboField LayoutComboField(const WindowState& state, const WindowLayout& l) {
  ComboField f;
  f.width = std::max(l.dropMark.left - l.combo.left, 0);
  f.caretColumn = ColumnsBefore(state.ComboText(), state.combo.caret);
  // A field too narrow for any column scrolls as one of one column would.
  f.shift = std::max(f.caretColumn - std::max(f.width - 1, 0), 0);
  return f;
}

void DrawCombo(const WindowState& state, const WindowLayout& l, const Palette& p) {
  const Rect& r = l.combo;
  const ComboField field = LayoutComboField(state, l);
  const std::string text = CellText(state.ComboText());
  FillCells(r.top, r.left, field.width, ' ', p.field);
  PutCells(r.top, r.left, FitColumns(text, field.shift, field.width), field.width, p.field);
  const attr_t mark = state.focus == Focus::Combo ? p.focused : A_NORMAL;
  PutCells(l.dropMark.top, l.dropMark.left, state.combo.listOpen ? "[^]" : "[v]", l.dropMark.width,
           mark);
}

void DrawFiles(WindowState& state, const WindowLayout& l, const Palette& p) {
  if (!state.picture.filesVisible || l.files.height <= 0) return;
  FileView& f = state.files;
  const std::vector<std::string>& names = state.picture.fileNames;
  const bool focused = state.focus == Focus::Files;
  DrawFrame(l.files, focused ? A_BOLD : A_NORMAL, "", A_NORMAL);
  const int rows = l.fileRows.height;
  f.top = ScrollToShow(f.top, f.highlight, rows, Size(names));
  for (int i = 0; i < rows; ++i) {
    const int entry = f.top + i;
    if (entry >= Size(names)) break;
    // The caret shows while the list has the focus; the selection always.
    attr_t attr = A_NORMAL;
    if (focused && entry == f.highlight) {
      attr = p.focused;
    } else if (entry == f.selected) {
      attr = p.highlight;
    }
    std::string name(1, ' ');  // appended, not prefixed: GCC 12 warns falsely on " " + text
    name += CellText(names[static_cast<std::size_t>(entry)]);
    FillCells(l.fileRows.top + i, l.fileRows.left, l.fileRows.width, ' ', attr);
    PutCells(l.fileRows.top + i, l.fileRows.left, name, l.fileRows.width, attr);
  }
  // More entries than rows: say where the view is.
  if (Size(names) > rows && l.files.width > 12) {
    std::string where(1, ' ');
    where += std::to_string(f.top + 1);
    where += '-';
    where += std::to_string(std::min(f.top + rows, Size(names)));
    where += '/';
    where += std::to_string(names.size());
    where += ' ';
    PutCells(l.files.Bottom() - 1, l.files.Right() - 2 - Size(where), where, Size(where), A_NORMAL);
  }
}

// A full block where the terminal's character set has one; the alternate
// character set's block otherwise.
const cchar_t* BarCell() {
  static cchar_t full{};
  static const bool unicode = [] {
    const wchar_t block[] = {L'\u2588', L'\0'};
    return MB_CUR_MAX > 1 && setcchar(&full, block, A_NORMAL, 0, nullptr) == OK;
  }();
  return unicode ? &full : WACS_BLOCK;
}

void DrawProgress(const WindowState& state, const Rect& r, const Palette& p) {
  if (r.width < 3) return;
  const int inner = r.width - 2;
  const int filled = inner * state.Percent() / 100;
  PutCells(r.top, r.left, "[", 1, A_NORMAL);
  PutCells(r.top, r.Right() - 1, "]", 1, A_NORMAL);
  FillLine(r.top, r.left + 1, filled, BarCell(), p.bar);
  FillCells(r.top, r.left + 1 + filled, inner - filled, ' ', A_NORMAL);
  std::string percent(1, ' ');
  percent += std::to_string(state.Percent());
  percent += "% ";
  const int at = std::max((inner - Size(percent)) / 2, 0);
  for (int i = 0; i < Size(percent) && at + i < inner; ++i) {
    const attr_t attr = at + i < filled ? p.bar | A_REVERSE : A_BOLD;
    PutCells(r.top, r.left + 1 + at + i, percent.substr(static_cast<std::size_t>(i), 1), 1, attr);
  }
}

void DrawButton(const WindowState& state, const Rect& r, const Palette& p) {
  std::string face = "[ ";
  face += CellText(state.picture.buttonCaption);
  face += " ]";
  attr_t attr = A_BOLD;
  if (!state.picture.buttonEnabled) {
    attr = p.disabled;
  } else if (state.focus == Focus::Button) {
    attr = p.focused | A_BOLD;
  }
  PutCells(r.top, r.left, face, r.width, attr);
}

}  // namespace

void DrawWindow(WindowState& state, const WindowLayout& l, const Palette& p) {
  state.KeepFocusValid();
  bkgdset(' ' | p.window);
  erase();
  DrawTitle(state, l.title, p);
  PutCells(l.label.top, l.label.left, CellText(state.picture.label), l.label.width, A_NORMAL);
  DrawCombo(state, l, p);
  DrawFiles(state, l, p);
  DrawFrame(l.group, A_NORMAL, CellText(state.picture.status), A_BOLD);
  DrawProgress(state, l.progress, p);
  DrawButton(state, l.button, p);
  PutCells(l.help.top, l.help.left, kHelp, l.help.width, p.help);
}

void DrawDropDown(WindowState& state, const WindowLayout& l, const Palette& p) {
  ComboView& c = state.combo;
  const std::vector<std::string>& items = state.picture.comboItems;
  if (!c.listOpen) return;
  const Rect r = LayoutDropDown(l, LINES, Size(items));
  if (r.height < 3) return;
  ClearRect(r, A_NORMAL);
  DrawFrame(r, A_BOLD, "", A_NORMAL);
  const int rows = r.height - 2;
  c.listTop = ScrollToShow(c.listTop, c.listHighlight, rows, Size(items));
  for (int i = 0; i < rows && c.listTop + i < Size(items); ++i) {
    const int item = c.listTop + i;
    const attr_t attr = item == c.listHighlight ? p.focused : A_NORMAL;
    FillCells(r.top + 1 + i, r.left + 1, r.width - 2, ' ', attr);
    PutCells(r.top + 1 + i, r.left + 1, CellText(items[static_cast<std::size_t>(item)]),
             r.width - 2, attr);
  }
}

void PlaceCursor(const WindowState& state, const WindowLayout& l, bool boxOpen) {
  if (boxOpen || state.busy || state.focus != Focus::Combo || state.combo.listOpen) {
    curs_set(0);
    return;
  }
  const ComboField field = LayoutComboField(state, l);
  const int column =
      l.combo.left + std::min(field.caretColumn - field.shift, std::max(field.width - 1, 0));
  if (l.combo.top >= LINES || column >= COLS) {
    curs_set(0);
    return;
  }
  move(l.combo.top, column);
  curs_set(1);
}
