#include "ui/terminal/window_state.h"

#include <algorithm>

std::vector<Focus> WindowState::TabStops() const {
  std::vector<Focus> stops{Focus::Combo};
  if (picture.filesVisible) stops.push_back(Focus::Files);
  if (picture.buttonEnabled) stops.push_back(Focus::Button);
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
  const int count = static_cast<int>(picture.fileNames.size());
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
  if (picture.max == 0) return 0;
  return static_cast<int>(
      std::min<std::uint64_t>(std::uint64_t{picture.position} * 100 / picture.max, 100));
}

void WindowState::Follow(const PictureChange& change) {
  using Part = PictureChange::Part;
  switch (change.part) {
    case Part::Button:
    case Part::FilesVisibility:
      KeepFocusValid();
      break;
    case Part::ComboDeleted:
      combo.listHighlight = std::min(combo.listHighlight,
                                     std::max(0, static_cast<int>(picture.comboItems.size()) - 1));
      break;
    case Part::ComboSelected:
      combo.caret = ComboText().size();
      break;
    case Part::ComboText:
      combo.caret = std::min(combo.caret, ComboText().size());
      break;
    case Part::Files:
      // A re-read list has no selection (the control forgets it); the caret
      // of a focused list stays on an entry.
      files.selected = -1;
      files.highlight = focus == Focus::Files && !picture.fileNames.empty() ? 0 : -1;
      files.top = 0;
      break;
    default:
      break;
  }
}
