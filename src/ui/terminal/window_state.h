// What only the terminal knows beside the picture of the window: focus, the
// list highlight, the edit caret and the open drop-down list.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/window_picture.h"

enum class Focus { Combo, Files, Button };

// The combo box's edit caret and its drop-down list.
struct ComboView {
  std::size_t caret = 0;  // in the edit field, 0..text size
  bool listOpen = false;
  int listHighlight = 0;
  int listTop = 0;
};

// The file list's caret and scroll.
struct FileView {
  int highlight = -1;  // the caret: the entry Enter or Space clicks, -1 only when empty
  int selected = -1;   // the entry last clicked, the form's selection
  int top = 0;         // the first entry shown
};

class WindowState {
 public:
  explicit WindowState(const WindowPicture& shown) : picture(shown) {}

  const WindowPicture& picture;  // what the controls show
  bool busy = false;
  ComboView combo;
  FileView files;
  Focus focus = Focus::Combo;

  // The edit field as the user sees it.
  const std::string& ComboText() const { return picture.ComboFieldText(); }
  // Focusable controls, in tab order: visible and enabled ones only.
  std::vector<Focus> TabStops() const;
  void MoveFocus(bool forward);
  // Gives `to` the focus. The file list taking it puts its caret on the
  // selected entry, or else on the first, so that Enter always clicks one.
  void SetFocus(Focus to);
  // Moves focus off a control that was hidden or disabled meanwhile.
  void KeepFocusValid();
  // Whole percent of the bar, 0..100.
  int Percent() const;

  // Brings the terminal's own state in line with a change of the picture.
  void Follow(const PictureChange& change);
};
