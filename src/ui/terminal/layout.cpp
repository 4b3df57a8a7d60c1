#include "ui/terminal/layout.h"

#include <algorithm>

#include "ui/terminal/cell_text.h"

namespace {

constexpr int kMargin = 2;           // blank columns left and right of the controls
constexpr int kGroupHeight = 3;      // top border with the status line, the bar, bottom border
constexpr int kMinimumFileRows = 1;  // entries shown even on a very small screen
constexpr int kDropMarkWidth = 3;    // "[v]"

}  // namespace

WindowLayout LayoutWindow(int rows, int columns, bool filesVisible,
                          const std::string& buttonCaption) {
  rows = std::max(rows, 0);
  columns = std::max(columns, 0);
  const int width = std::max(columns - 2 * kMargin, 0);
  WindowLayout l;
  l.title = {0, 0, 1, columns};
  l.label = {2, kMargin, 1, width};
  l.combo = {3, kMargin, 1, width};
  l.dropMark = {3, std::max(kMargin, kMargin + width - kDropMarkWidth), 1,
                std::min(kDropMarkWidth, width)};
  int next = 5;
  if (filesVisible) {
    // Everything below the list has a fixed height: blank, group box, help row.
    const int below = 1 + kGroupHeight + 1;
    const int height = std::max(rows - next - below, kMinimumFileRows + 2);
    l.files = {next, kMargin, height, width};
    l.fileRows = {next + 1, kMargin + 1, height - 2, std::max(width - 2, 0)};
    next += height + 1;
  }
  l.group = {next, kMargin, kGroupHeight, width};
  const int inner = std::max(width - 4, 0);  // the border and one blank each side
  const int buttonWidth = std::min(Columns(CellText(buttonCaption)) + 4, inner);
  const int gap = inner > buttonWidth ? 2 : 0;
  l.button = {next + 1, kMargin + 2 + inner - buttonWidth, 1, buttonWidth};
  l.progress = {next + 1, kMargin + 2, 1, std::max(inner - buttonWidth - gap, 0)};
  l.help = {std::max(rows - 1, l.group.Bottom()), 0, 1, columns};
  return l;
}

Rect LayoutDropDown(const WindowLayout& layout, int rows, int itemCount) {
  const int top = layout.combo.Bottom();
  const int room = std::max(rows - top - 1, 1);
  // Framed: one row above and one below the items.
  const int shown = std::min(itemCount, std::max(room - 2, 1));
  return {top, layout.combo.left, itemCount > 0 ? shown + 2 : 0, layout.combo.width};
}
