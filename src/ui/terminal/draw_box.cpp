#include "ui/terminal/draw_box.h"

#include <algorithm>
#include <string>

#include "ui/terminal/draw_cells.h"

namespace {

constexpr int kTextIndent = 3;  // the frame and two blanks
// On the frame of a box whose text scrolls: where more of it is.
constexpr char kMoreAbove[] = " more: Up ";
constexpr char kMoreBelow[] = " more: Down ";
// In the blank row above the buttons of a box too low for any of its text.
constexpr char kTooLow[] = "Enlarge the terminal to read this";

void PutOnBorder(int row, const Rect& frame, const std::string& mark, attr_t attr) {
  const int width = static_cast<int>(mark.size());
  PutCells(row, std::max(frame.Right() - 2 - width, frame.left + 2), mark, frame.width - 4, attr);
}

}  // namespace

void DrawBox(const MessageBoxView& box, const BoxLayout& l, const Palette& p) {
  const attr_t attr = p.Box(box.kind);
  ClearRect(l.frame, attr);
  DrawFrame(l.frame, attr, BoxTitle(box.kind), attr | p.boxTitle);
  for (int i = 0; i < l.textRows && l.first + i < static_cast<int>(l.lines.size()); ++i) {
    const std::string& line =
        l.lines[static_cast<std::size_t>(l.first) + static_cast<std::size_t>(i)];
    PutCells(l.frame.top + 1 + i, l.frame.left + kTextIndent, line, l.frame.width - kTextIndent - 1,
             attr);
  }
  if (l.TooLow()) {
    PutCells(l.frame.top + 1, l.frame.left + 2, kTooLow, l.frame.width - 3, attr | p.boxTitle);
  }
  if (l.first > 0) PutOnBorder(l.frame.top, l.frame, kMoreAbove, attr | p.boxTitle);
  if (!l.ShowsEnd()) PutOnBorder(l.frame.Bottom() - 1, l.frame, kMoreBelow, attr | p.boxTitle);
  const bool yesNo = box.buttons == BoxButtons::YesNo;
  const attr_t chosen = attr | A_REVERSE | A_BOLD;
  PutCells(l.yesOrOk.top, l.yesOrOk.left, yesNo ? "[ Yes ]" : "[ OK ]", l.yesOrOk.width,
           box.selected == 0 ? chosen : attr);
  if (yesNo) PutCells(l.no.top, l.no.left, "[ No ]", l.no.width, box.selected == 1 ? chosen : attr);
}
