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

// The highest first line a box of `textRows` rows may show: its last line
// then stands in its last row (a box too small for any text still shows one).
int LastTop(int lineCount, int textRows) { return std::max(lineCount - std::max(textRows, 1), 0); }

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
  const int lineCount = static_cast<int>(l.lines.size());
  l.textRows = std::min(lineCount, std::max(rows - fixedRows, 0));
  l.first = std::clamp(box.top, 0, LastTop(lineCount, l.textRows));
  const int height = l.textRows + fixedRows;
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

namespace {

// Shows the lines from `top` on, as far as there are lines to show.
void ScrollTo(MessageBoxView& box, const BoxLayout& layout, int top) {
  const int lineCount = static_cast<int>(layout.lines.size());
  box.top = std::clamp(top, 0, LastTop(lineCount, layout.textRows));
  if (layout.textRows > 0 && box.top + layout.textRows >= lineCount) box.seenEnd = true;
}

bool Scroll(const Key& key, MessageBoxView& box, const BoxLayout& layout) {
  const int page = std::max(layout.textRows - 1, 1);  // one line stays for context
  switch (key.name) {
    case KeyName::Up:
      ScrollTo(box, layout, box.top - 1);
      return true;
    case KeyName::Down:
      ScrollTo(box, layout, box.top + 1);
      return true;
    case KeyName::PageUp:
      ScrollTo(box, layout, box.top - page);
      return true;
    case KeyName::PageDown:
      ScrollTo(box, layout, box.top + page);
      return true;
    case KeyName::Home:
      ScrollTo(box, layout, 0);
      return true;
    case KeyName::End:
      ScrollTo(box, layout, static_cast<int>(layout.lines.size()));
      return true;
    default:
      return false;
  }
}

// Yes or OK, once the whole text has been shown; until then the next page.
std::optional<BoxAnswer> Agree(MessageBoxView& box, const BoxLayout& layout, BoxAnswer answer) {
  if (box.seenEnd) return answer;
  ScrollTo(box, layout, box.top + std::max(layout.textRows - 1, 1));
  return std::nullopt;
}

}  // namespace

std::optional<BoxAnswer> HandleBoxKey(const Key& key, MessageBoxView& box,
                                      const BoxLayout& layout) {
  // What the screen shows now has been seen.
  ScrollTo(box, layout, layout.first);
  if (Scroll(key, box, layout)) return std::nullopt;
  if (box.buttons == BoxButtons::Ok) {
    if (key.Is(KeyName::Escape) || key.Is(KeyName::EndOfInput)) return BoxAnswer::Ok;
    if (key.IsConfirm()) return Agree(box, layout, BoxAnswer::Ok);
    if (key.Is(KeyName::Click) && layout.yesOrOk.Contains(key.row, key.column))
      return Agree(box, layout, BoxAnswer::Ok);
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
    case KeyName::Click:
      if (layout.yesOrOk.Contains(key.row, key.column)) return Agree(box, layout, BoxAnswer::Yes);
      if (layout.no.Contains(key.row, key.column)) return BoxAnswer::No;
      return std::nullopt;
    default:
      break;
  }
  if (key.IsLetter('y')) return Agree(box, layout, BoxAnswer::Yes);
  if (key.IsLetter('n')) return BoxAnswer::No;
  if (key.IsConfirm()) {
    return box.selected == 0 ? Agree(box, layout, BoxAnswer::Yes) : BoxAnswer::No;
  }
  return std::nullopt;
}
