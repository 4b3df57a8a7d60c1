// One worker thread that runs one call, started and awaited with the
// system's own thread calls: the runtime of the Windows build has no
// std::thread, and Windows 95 to XP lack what a thread library built for
// newer systems would import.
#pragma once

#include <windows.h>

#include <functional>

namespace win32ui {

class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread() { Join(); }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts `call` on a new thread; false (and `call` not run) if the system
  // could not start one. A previous call is waited for first.
  bool Start(std::function<void()> call);

  // Waits until the call has returned; at once when none was started.
  void Join();

  bool Joinable() const { return thread_ != nullptr; }

 private:
  static unsigned __stdcall Entry(void* self);

  HANDLE thread_ = nullptr;
  std::function<void()> call_;  // owned here, so it outlives the thread
};

}  // namespace win32ui
