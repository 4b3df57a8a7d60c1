#include "ui/terminal/window_input.h"

#include <algorithm>

#include "ui/terminal/cell_text.h"

namespace {

int Count(const std::vector<std::string>& items) { return static_cast<int>(items.size()); }

void SelectIfChanged(WindowState& state, FormActions& actions, int index) {
  if (index == state.picture.comboIndex) return;
  actions.SelectComboItem(index);
}

void Edit(WindowState& state, FormActions& actions, const std::string& text, std::size_t caret) {
  actions.TypeComboText(text);
  // The typed text comes back from the control, and "nothing selected" with
  // it, which puts the caret at the end: it goes back where the edit left it.
  state.combo.caret = std::min(caret, state.ComboText().size());
}

void HandleDropDown(const Key& key, WindowState& state, FormActions& actions, int pageRows) {
  ComboView& c = state.combo;
  const int last = Count(state.picture.comboItems) - 1;
  switch (key.name) {
    case KeyName::Up:
      c.listHighlight = std::max(c.listHighlight - 1, 0);
      break;
    case KeyName::Down:
      c.listHighlight = std::min(c.listHighlight + 1, std::max(last, 0));
      break;
    case KeyName::Home:
      c.listHighlight = 0;
      break;
    case KeyName::End:
      c.listHighlight = std::max(last, 0);
      break;
    case KeyName::PageUp:
      c.listHighlight = std::max(c.listHighlight - pageRows, 0);
      break;
    case KeyName::PageDown:
      c.listHighlight = std::min(c.listHighlight + pageRows, std::max(last, 0));
      break;
    case KeyName::Enter:
      c.listOpen = false;
      if (last >= 0) SelectIfChanged(state, actions, c.listHighlight);
      return;
    case KeyName::Escape:
    case KeyName::F4:
    case KeyName::AltDown:
      c.listOpen = false;
      return;
    default:
      return;
  }
  c.listTop = ScrollToShow(c.listTop, c.listHighlight, pageRows, Count(state.picture.comboItems));
}

void OpenDropDown(WindowState& state) {
  ComboView& c = state.combo;
  if (state.picture.comboItems.empty()) return;
  c.listOpen = true;
  c.listHighlight = std::max(state.picture.comboIndex, 0);
  c.listTop = 0;
}

void HandleCombo(const Key& key, WindowState& state, FormActions& actions) {
  ComboView& c = state.combo;
  const std::string text = state.ComboText();
  const std::size_t caret = std::min(c.caret, text.size());
  switch (key.name) {
    case KeyName::Up:
      if (state.picture.comboIndex != 0 && !state.picture.comboItems.empty())
        SelectIfChanged(state, actions, std::max(state.picture.comboIndex - 1, 0));
      break;
    case KeyName::Down:
      if (state.picture.comboIndex + 1 < Count(state.picture.comboItems))
        SelectIfChanged(state, actions, state.picture.comboIndex + 1);
      break;
    case KeyName::F4:
    case KeyName::AltDown:
      OpenDropDown(state);
      break;
    case KeyName::Left:
      c.caret = PreviousGlyph(text, caret);
      break;
    case KeyName::Right:
      c.caret = NextGlyph(text, caret);
      break;
    case KeyName::Home:
      c.caret = 0;
      break;
    case KeyName::End:
      c.caret = text.size();
      break;
    case KeyName::Text:
      Edit(state, actions, text.substr(0, caret) + key.text + text.substr(caret), caret + 1);
      break;
    case KeyName::Backspace:
      // A whole character goes, never one byte of it.
      if (caret > 0) {
        const std::size_t from = PreviousGlyph(text, caret);
        Edit(state, actions, text.substr(0, from) + text.substr(caret), from);
      }
      break;
    case KeyName::Delete:
      if (caret < text.size())
        Edit(state, actions, text.substr(0, caret) + text.substr(NextGlyph(text, caret)), caret);
      break;
    default:
      break;
  }
}

void ClickFile(WindowState& state, FormActions& actions, int entry) {
  state.files.highlight = entry;
  state.files.selected = entry;
  actions.ClickFileEntry(entry);
}

void HandleFiles(const Key& key, WindowState& state, FormActions& actions, int pageRows) {
  FileView& f = state.files;
  const int last = Count(state.picture.fileNames) - 1;
  // Nothing to click in an empty list: a click on no entry would enable
  // Build without a file to build from.
  if (last < 0) return;
  const int caret = std::clamp(f.highlight, 0, last);
  if (key.IsConfirm()) {
    ClickFile(state, actions, caret);
    return;
  }
  switch (key.name) {
    case KeyName::Up:
      f.highlight = std::max(caret - 1, 0);
      break;
    case KeyName::Down:
      f.highlight = std::min(caret + 1, last);
      break;
    case KeyName::Home:
      f.highlight = 0;
      break;
    case KeyName::End:
      f.highlight = last;
      break;
    case KeyName::PageUp:
      f.highlight = std::max(caret - pageRows, 0);
      break;
    case KeyName::PageDown:
      f.highlight = std::min(caret + pageRows, last);
      break;
    default:
      return;
  }
  f.top = ScrollToShow(f.top, f.highlight, pageRows, last + 1);
}

void HandleClick(const Key& key, WindowState& state, const WindowLayout& layout, int rows,
                 FormActions& actions) {
  ComboView& c = state.combo;
  if (c.listOpen) {
    const Rect list = LayoutDropDown(layout, rows, Count(state.picture.comboItems));
    const int row = key.row - list.top - 1 + c.listTop;
    c.listOpen = false;
    if (list.Contains(key.row, key.column) && key.row > list.top && key.row < list.Bottom() - 1 &&
        row >= 0 && row < Count(state.picture.comboItems)) {
      SelectIfChanged(state, actions, row);
    }
    return;  // a click outside the open list only closes it
  }
  if (layout.combo.Contains(key.row, key.column)) {
    state.SetFocus(Focus::Combo);
    if (layout.dropMark.Contains(key.row, key.column)) OpenDropDown(state);
    return;
  }
  if (state.picture.filesVisible && layout.files.Contains(key.row, key.column)) {
    state.SetFocus(Focus::Files);
    const int entry = key.row - layout.fileRows.top + state.files.top;
    if (layout.fileRows.Contains(key.row, key.column) && entry < Count(state.picture.fileNames)) {
      ClickFile(state, actions, entry);
    }
    return;
  }
  if (layout.button.Contains(key.row, key.column) && state.picture.buttonEnabled) {
    state.SetFocus(Focus::Button);
    actions.PressFlashButton();
  }
}

}  // namespace

int ScrollToShow(int top, int highlight, int visibleRows, int count) {
  visibleRows = std::max(visibleRows, 1);
  if (highlight < 0) return std::clamp(top, 0, std::max(count - visibleRows, 0));
  if (highlight < top) top = highlight;
  if (highlight >= top + visibleRows) top = highlight - visibleRows + 1;
  return std::clamp(top, 0, std::max(count - visibleRows, 0));
}

void HandleWindowKey(const Key& key, WindowState& state, const WindowLayout& layout, int rows,
                     FormActions& actions) {
  state.KeepFocusValid();
  if (key.Is(KeyName::F10) || key.Is(KeyName::CtrlQ)) {
    state.combo.listOpen = false;
    actions.CloseByUser();
    return;
  }
  if (key.Is(KeyName::Click)) {
    HandleClick(key, state, layout, rows, actions);
    return;
  }
  if (state.combo.listOpen) {
    const Rect list = LayoutDropDown(layout, rows, Count(state.picture.comboItems));
    if (key.Is(KeyName::Tab) || key.Is(KeyName::BackTab)) {
      state.MoveFocus(key.Is(KeyName::Tab));  // closes the list unchosen
      return;
    }
    HandleDropDown(key, state, actions, std::max(list.height - 2, 1));
    return;
  }
  if (key.Is(KeyName::Tab) || key.Is(KeyName::BackTab)) {
    state.MoveFocus(key.Is(KeyName::Tab));
    return;
  }
  switch (state.focus) {
    case Focus::Combo:
      HandleCombo(key, state, actions);
      break;
    case Focus::Files:
      HandleFiles(key, state, actions, std::max(layout.fileRows.height, 1));
      break;
    case Focus::Button:
      if (key.IsConfirm()) actions.PressFlashButton();
      break;
  }
}
