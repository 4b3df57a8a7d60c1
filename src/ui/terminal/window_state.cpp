#include "ui/terminal/window_state.h"

#include <algorithm>

const std::string& WindowState::ComboText() const {
  if (combo.index >= 0 && combo.index < static_cast<int>(combo.items.size())) {
    return combo.items[static_cast<std::size_t>(combo.index)];
  }
  return combo.text;
}

std::vector<Focus> WindowState::TabStops() const {
  std::vector<Focus> stops{Focus::Combo};
  if (files.visible) stops.push_back(Focus::Files);
  if (buttonEnabled) stops.push_back(Focus::Button);
  return stops;
}

void WindowState::MoveFocus(bool forward) {
  const std::vector<Focus> stops = TabStops();
  const auto at = std::find(stops.begin(), stops.end(), focus);
  const int count = static_cast<int>(stops.size());
  const int current = at == stops.end() ? 0 : static_cast<int>(at - stops.begin());
  SetFocus(stops[static_cast<std::size_t>((current + (forward ? 1 : count - 1)) % count)]);
  combo.listOpen = false;
}

void WindowState::SetFocus(Focus to) {
  const bool taking = to == Focus::Files && focus != Focus::Files;
  focus = to;
  if (!taking) return;
  const int count = static_cast<int>(files.names.size());
  files.highlight = files.selected >= 0 && files.selected < count ? files.selected
                    : count > 0                                   ? 0
                                                                  : -1;
}

void WindowState::KeepFocusValid() {
  const std::vector<Focus> stops = TabStops();
  if (std::find(stops.begin(), stops.end(), focus) != stops.end()) return;
  // The next control in tab order takes the focus, as a dialog does when
  // the focused control goes away.
  const Focus order[] = {Focus::Combo, Focus::Files, Focus::Button};
  const int from =
      static_cast<int>(std::find(std::begin(order), std::end(order), focus) - std::begin(order));
  for (int step = 1; step <= 3; ++step) {
    const Focus candidate = order[(from + step) % 3];
    if (std::find(stops.begin(), stops.end(), candidate) != stops.end()) {
      SetFocus(candidate);
      return;
    }
  }
}

int WindowState::Percent() const {
  if (max == 0) return 0;
  return static_cast<int>(std::min<std::uint64_t>(std::uint64_t{position} * 100 / max, 100));
}

void WindowState::ButtonChanged(const std::string& text, bool enabled) {
  buttonCaption = text;
  buttonEnabled = enabled;
  KeepFocusValid();
}

void WindowState::ProgressChanged(std::uint32_t newPosition, std::uint32_t newMax) {
  position = newPosition;
  max = newMax;
}

void WindowState::ComboAdded(int, const std::string& text) { combo.items.push_back(text); }

void WindowState::ComboInserted(int index, const std::string& text) {
  index = std::clamp(index, 0, static_cast<int>(combo.items.size()));
  combo.items.insert(combo.items.begin() + index, text);
}

void WindowState::ComboDeleted(int index) {
  if (index < 0 || index >= static_cast<int>(combo.items.size())) return;
  combo.items.erase(combo.items.begin() + index);
  // The control reports a deleted selection as "none selected"; a selection
  // behind the deleted line moves up with it unreported.
  if (combo.index > index) --combo.index;
  combo.listHighlight =
      std::min(combo.listHighlight, std::max(0, static_cast<int>(combo.items.size()) - 1));
}

void WindowState::ComboSelected(int index) {
  if (index >= 0 && index < static_cast<int>(combo.items.size())) {
    combo.text = combo.items[static_cast<std::size_t>(index)];
    combo.index = index;
  } else {
    combo.index = -1;
  }
  combo.caret = combo.text.size();
}

void WindowState::FilesVisibilityChanged(bool visible) {
  files.visible = visible;
  KeepFocusValid();
}

void WindowState::FilesReread(const std::vector<std::string>& names) {
  files.names = names;
  // A re-read list has no selection (the control forgets it); the caret of a
  // focused list stays on an entry.
  files.selected = -1;
  files.highlight = focus == Focus::Files && !names.empty() ? 0 : -1;
  files.top = 0;
}
