// The main window's controls: their identifiers, window classes and places.
// The test driver finds the controls by these identifiers, so they are part
// of what the window promises to the outside.
#pragma once

#include <array>

namespace win32ui {

// Window classes of the program's own windows.
inline constexpr char kFormClass[] = "TFlashForm";
inline constexpr char kApplicationClass[] = "FlashApplication";  // owns the task-bar button
inline constexpr char kPanelClass[] = "FlashPanel";

enum ControlId : int {
  kPanel1 = 100,
  kSelectDriveLabel,
  kComboBox,
  kFileListBox1,
  kGroupBox2,
  kProgressBar,
  kFlashButton,
};

// Position and size in pixels at 96 DPI, relative to the parent's client area.
struct ControlPlace {
  ControlId id;
  int parent;  // 0: the form itself
  int left;
  int top;
  int width;
  int height;
};

// In creation order, which is also the tab order within each parent.
inline constexpr std::array<ControlPlace, 7> kControlPlaces{{
    {kPanel1, 0, 0, 0, 425, 201},
    {kSelectDriveLabel, kPanel1, 16, 16, 369, 25},
    {kComboBox, kPanel1, 16, 40, 385, 24},
    {kFileListBox1, kPanel1, 16, 72, 385, 41},
    {kGroupBox2, kPanel1, 16, 128, 385, 49},
    {kProgressBar, kGroupBox2, 8, 16, 305, 25},
    {kFlashButton, kGroupBox2, 320, 16, 57, 25},
}};

// The form's place on the screen, and its client area, which wraps the panel.
inline constexpr int kFormLeft = 192;
inline constexpr int kFormTop = 128;
inline constexpr int kClientWidth = kControlPlaces[0].width;
inline constexpr int kClientHeight = kControlPlaces[0].height;

inline constexpr int kListItemHeight = 16;  // combo box and file list lines
inline constexpr int kFontHeight = 16;      // character height of the form's font
inline constexpr int kDesignDpi = 96;

constexpr int ScaleForDpi(int pixelsAt96, unsigned dpi) {
  // Rounded to the nearest pixel, as MulDiv does.
  const long long scaled = static_cast<long long>(pixelsAt96) * dpi;
  return static_cast<int>((scaled + (scaled >= 0 ? kDesignDpi / 2 : -kDesignDpi / 2)) / kDesignDpi);
}
static_assert(ScaleForDpi(425, 96) == 425 && ScaleForDpi(25, 144) == 38 &&
              ScaleForDpi(16, 120) == 20);

}  // namespace win32ui
