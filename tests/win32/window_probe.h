// Reads and works the program's window from another process, as a user
// would: the form and its controls by identifier, and its message boxes.
#pragma once

#include <windows.h>

#include <string>

#include "ui/win32/window_layout.h"

namespace probe {

HWND FindForm(DWORD processId);  // null unless visible
HWND FindBox(DWORD processId);   // a visible system message box, or null
HWND Control(HWND form, win32ui::ControlId id);
std::string Text(HWND window);
// A group box's or button's caption as the user reads it ("&&" is "&").
std::string CaptionText(HWND window);

struct Box {
  std::string title;
  std::string text;
  std::string buttons;  // "ok" or "yesno"
  std::string icon;     // "none", "warning", "error", "question", "information", "other"
  HWND owner = nullptr;
};
Box ReadBox(HWND box);

// Where the control lies in its parent's client area.
RECT PlaceInParent(HWND control);

}  // namespace probe
