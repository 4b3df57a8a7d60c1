#include "ui/terminal/draw_box.h"

#include "ui/terminal/draw_cells.h"

namespace {

constexpr int kTextIndent = 3;  // the frame and two blanks

}  // namespace

void DrawBox(const MessageBoxView& box, const BoxLayout& l, const Palette& p) {
  const attr_t attr = p.Box(box.kind);
  ClearRect(l.frame, attr);
  DrawFrame(l.frame, attr, BoxTitle(box.kind), attr | p.boxTitle);
  for (std::size_t i = 0; i < l.lines.size(); ++i) {
    PutCells(l.frame.top + 1 + static_cast<int>(i), l.frame.left + kTextIndent, l.lines[i],
             l.frame.width - kTextIndent - 1, attr);
  }
  const bool yesNo = box.buttons == BoxButtons::YesNo;
  const attr_t chosen = attr | A_REVERSE | A_BOLD;
  PutCells(l.yesOrOk.top, l.yesOrOk.left, yesNo ? "[ Yes ]" : "[ OK ]", l.yesOrOk.width,
           box.selected == 0 ? chosen : attr);
  if (yesNo) PutCells(l.no.top, l.no.left, "[ No ]", l.no.width, box.selected == 1 ? chosen : attr);
}
