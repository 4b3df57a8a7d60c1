// Carries calls from a worker thread to the window's thread and waits for
// them, so the form's calls into the front-end keep their order and the
// window's state is only ever touched by the thread that owns it.
#pragma once

#include <windows.h>

#include <functional>

namespace win32ui {

// The private message that carries one call; the window procedure hands it
// to RunCarriedCall.
inline constexpr UINT kCarriedCallMessage = WM_APP + 1;

class WindowThread {
 public:
  // The window whose thread runs the calls; null until it exists.
  void Bind(HWND window);

  // Runs `call` on the window's thread and returns when it has run. On that
  // thread itself, or before the window exists, it runs at once.
  void Run(const std::function<void()>& call) const;

 private:
  HWND window_ = nullptr;
  DWORD threadId_ = 0;
};

// For the window procedure: runs the call a kCarriedCallMessage carries.
LRESULT RunCarriedCall(LPARAM lParam);

}  // namespace win32ui
