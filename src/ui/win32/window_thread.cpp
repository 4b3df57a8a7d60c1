#include "ui/win32/window_thread.h"

namespace win32ui {

void WindowThread::Bind(HWND window) {
  window_ = window;
  threadId_ = window ? GetWindowThreadProcessId(window, nullptr) : 0;
}

void WindowThread::Run(const std::function<void()>& call) const {
  if (!window_ || GetCurrentThreadId() == threadId_) {
    call();
    return;
  }
  // SendMessage is served by the window thread's message loop, and by the
  // nested loops of its modal boxes as well, so a call never waits for a box
  // the user has not answered yet unless the call is that box.
  SendMessageA(window_, kCarriedCallMessage, 0, reinterpret_cast<LPARAM>(&call));
}

LRESULT RunCarriedCall(LPARAM lParam) {
  (*reinterpret_cast<const std::function<void()>*>(lParam))();
  return 0;
}

}  // namespace win32ui
