// What the window tells its front-end: the user's actions and requests.
#pragma once

#include <string>

namespace win32ui {

class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void ComboSelectionChanged(int index) = 0;
  virtual void ComboEdited(const std::string& text) = 0;
  virtual void FileClicked(int index) = 0;
  virtual void ButtonClicked() = 0;
  virtual void CloseRequested() = 0;  // close box, Alt-F4, the task-bar button's menu
  virtual bool MaySessionEnd() = 0;   // the system asks before it shuts down
  virtual void WindowDestroyed() = 0;
  virtual void RunEnded() = 0;          // posted by the worker when a click's handler returned
  virtual void RefusalRequested() = 0;  // show why the window cannot close now
  virtual bool CursorBusy() const = 0;
};

}  // namespace win32ui
