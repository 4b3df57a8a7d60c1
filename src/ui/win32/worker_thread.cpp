#include "ui/win32/worker_thread.h"

#include <process.h>

#include <cstdint>
#include <utility>

namespace win32ui {

bool WorkerThread::Start(std::function<void()> call) {
  Join();
  call_ = std::move(call);
  // _beginthreadex rather than CreateThread: the call uses the C runtime,
  // which sets up its per-thread data for threads it starts itself.
  const std::uintptr_t handle = _beginthreadex(nullptr, 0, &WorkerThread::Entry, this, 0, nullptr);
  if (handle == 0) {
    call_ = nullptr;
    return false;
  }
  thread_ = reinterpret_cast<HANDLE>(handle);
  return true;
}

void WorkerThread::Join() {
  if (thread_ == nullptr) return;
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
  call_ = nullptr;
}

unsigned __stdcall WorkerThread::Entry(void* self) {
  static_cast<WorkerThread*>(self)->call_();
  return 0;
}

}  // namespace win32ui
