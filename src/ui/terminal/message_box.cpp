#include "ui/terminal/message_box.h"

#include <algorithm>

#include "ui/terminal/cell_text.h"

namespace {

constexpr int kPadding = 2;  // blank columns between the frame and the text
constexpr char kOk[] = "[ OK ]";
constexpr char kYes[] = "[ Yes ]";
constexpr char kNo[] = "[ No ]";
constexpr int kButtonGap = 3;

int Width(const std::string& s) { return static_cast<int>(s.size()); }

}  // namespace

const char* BoxTitle(BoxKind kind) {
  switch (kind) {
    case BoxKind::Warning:
      return "Warning";
    case BoxKind::Error:
      return "Error";
    case BoxKind::Confirm:
      return "Confirm";
    case BoxKind::Plain:
      break;
  }
  return "";
}

BoxLayout LayoutBox(const MessageBoxView& box, int rows, int columns) {
  rows = std::max(rows, 0);
  columns = std::max(columns, 0);
  BoxLayout l;
  const bool yesNo = box.buttons == BoxButtons::YesNo;
  const int buttonsWidth = yesNo ? Width(kYes) + kButtonGap + Width(kNo) : Width(kOk);
  const int textRoom = std::max(columns - 2 - 2 * kPadding, 1);
  l.lines = WrapLines(box.text, textRoom);
  int textWidth = std::max(buttonsWidth, Width(BoxTitle(box.kind)) + 2);
  for (const std::string& line : l.lines) textWidth = std::max(textWidth, Columns(line));
  const int width = std::min(textWidth + 2 + 2 * kPadding, columns);
  // Frame, the lines, a blank row, the buttons, frame.
  const int fixedRows = 4;
  const int lineRoom = std::max(rows - fixedRows, 0);
  if (static_cast<int>(l.lines.size()) > lineRoom)
    l.lines.resize(static_cast<std::size_t>(lineRoom));
  const int height = static_cast<int>(l.lines.size()) + fixedRows;
  l.frame = {std::max((rows - height) / 2, 0), std::max((columns - width) / 2, 0), height, width};
  l.buttonRow = l.frame.top + height - 2;
  const int buttonsLeft = l.frame.left + std::max((width - buttonsWidth) / 2, 0);
  if (yesNo) {
    l.yesOrOk = {l.buttonRow, buttonsLeft, 1, Width(kYes)};
    l.no = {l.buttonRow, buttonsLeft + Width(kYes) + kButtonGap, 1, Width(kNo)};
  } else {
    l.yesOrOk = {l.buttonRow, buttonsLeft, 1, Width(kOk)};
  }
  return l;
}

std::optional<BoxAnswer> HandleBoxKey(const Key& key, MessageBoxView& box,
                                      const BoxLayout& layout) {
  if (box.buttons == BoxButtons::Ok) {
    if (key.IsConfirm() || key.Is(KeyName::Escape) || key.Is(KeyName::EndOfInput)) {
      return BoxAnswer::Ok;
    }
    if (key.Is(KeyName::Click) && layout.yesOrOk.Contains(key.row, key.column))
      return BoxAnswer::Ok;
    return std::nullopt;
  }
  switch (key.name) {
    case KeyName::Escape:
    case KeyName::EndOfInput:  // nobody is there to say Yes
      return BoxAnswer::No;
    case KeyName::Left:
    case KeyName::Right:
    case KeyName::Tab:
    case KeyName::BackTab:
      box.selected = 1 - box.selected;
      return std::nullopt;
    case KeyName::Enter:
      return box.selected == 0 ? BoxAnswer::Yes : BoxAnswer::No;
    case KeyName::Click:
      if (layout.yesOrOk.Contains(key.row, key.column)) return BoxAnswer::Yes;
      if (layout.no.Contains(key.row, key.column)) return BoxAnswer::No;
      return std::nullopt;
    default:
      break;
  }
  if (key.IsLetter('y')) return BoxAnswer::Yes;
  if (key.IsLetter('n')) return BoxAnswer::No;
  if (key.IsSpace()) return box.selected == 0 ? BoxAnswer::Yes : BoxAnswer::No;
  return std::nullopt;
}
