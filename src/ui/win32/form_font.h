// The form's font: "System", bold, 16 pixels high, Traditional Chinese
// character set. Where the system maps that request to a font without Latin
// letters (Wine without Chinese fonts picks a CJK-only fallback), the window
// would show empty boxes instead of its texts; it then takes a legible font
// of the same height and weight.
#pragma once

#include <windows.h>

#include <string>

namespace win32ui {

struct FormFont {
  HFONT handle = nullptr;
  std::string face;  // the face the system actually gave
  bool fallback = false;
};

FormFont CreateFormFont(unsigned dpi);

}  // namespace win32ui
