// Where each control of the window lies, in character cells, for a screen
// of a given size. The controls keep their window order from top to bottom;
// the file list takes the height the others leave, and when it is hidden the
// group box moves up under the combo box. Below the smallest size the rows
// still come out in order and drawing clips what falls off the screen.
#pragma once

#include <string>

struct Rect {
  int top = 0;
  int left = 0;
  int height = 0;
  int width = 0;

  int Bottom() const { return top + height; }  // one past the last row
  int Right() const { return left + width; }   // one past the last column
  bool Contains(int row, int column) const {
    return row >= top && row < Bottom() && column >= left && column < Right();
  }
};

inline constexpr int kMinimumRows = 24;
inline constexpr int kMinimumColumns = 80;

struct WindowLayout {
  Rect title;     // the caption bar, the whole top row
  Rect label;     // SelectDriveLabel
  Rect combo;     // the edit field and its drop-down mark
  Rect dropMark;  // the part of `combo` that opens the list
  Rect files;     // FileListBox1 with its frame; empty when hidden
  Rect fileRows;  // the rows inside the frame, one entry each
  Rect group;     // GroupBox2's frame; its caption sits in the top border
  Rect progress;  // ProgressBar, inside the group box
  Rect button;    // FlashButton, inside the group box
  Rect help;      // the key reminder, the whole bottom row
};

// `buttonCaption` sizes the button: "[ " + caption + " ]".
WindowLayout LayoutWindow(int rows, int columns, bool filesVisible,
                          const std::string& buttonCaption);

// The drop-down list under the combo box: as many rows as items, at most
// what fits below the combo box (at least one row when there are items).
Rect LayoutDropDown(const WindowLayout& layout, int rows, int itemCount);
