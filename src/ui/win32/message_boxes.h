// The form's boxes as system message boxes: the kind picks icon and title.
#pragma once

#include <windows.h>

#include <string>

#include "common/dialog.h"
#include "flash_version.h"

namespace win32ui {

inline constexpr char kWarningTitle[] = "Warning";
inline constexpr char kErrorTitle[] = "Error";
inline constexpr char kConfirmTitle[] = "Confirm";
// The window's title and a plain box's, as the system's own plain boxes carry
// the application's name.
inline constexpr char kApplicationTitle[] = FLASH_APPLICATION_TITLE;

// Shows the box; `owner` is null until the window is on the screen.
BoxAnswer ShowBox(HWND owner, const std::string& text, BoxKind kind, BoxButtons buttons);

}  // namespace win32ui
