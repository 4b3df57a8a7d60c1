// GoogleTest's thread-start signal for the win32 thread model, whose runtime
// has no std::mutex or std::condition_variable (GoogleTest's own signal is
// built on them). Given to every GoogleTest compilation by the build.
#pragma once

namespace testing::internal {

class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify();
  void WaitForNotification();

 private:
  void* event_;  // a manual-reset event
};

}  // namespace testing::internal
