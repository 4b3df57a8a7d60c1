// Calls carried from a worker to the window's thread: they run there, one at
// a time, in the order the worker made them, and each has run when the
// worker's call returns.
#include "ui/win32/window_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "ui/win32/worker_thread.h"

namespace {

LRESULT CALLBACK CarrierProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == win32ui::kCarriedCallMessage) return win32ui::RunCarriedCall(lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

class CarrierWindow {
 public:
  CarrierWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = CarrierProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "WindowThreadTest";
    RegisterClassA(&windowClass);
    // A message-only window: no display needed.
    handle = CreateWindowExA(0, "WindowThreadTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  }
  ~CarrierWindow() {
    if (handle) DestroyWindow(handle);
  }
  HWND handle = nullptr;
};

TEST(WindowThread, CarriesCallsInOrderAndWaitsForEach) {
  CarrierWindow window;
  ASSERT_NE(window.handle, nullptr);
  win32ui::WindowThread carrier;
  carrier.Bind(window.handle);

  constexpr int kCalls = 200;
  const DWORD windowThread = GetCurrentThreadId();
  std::vector<int> order;  // touched on the window's thread only
  std::vector<DWORD> ranOn;
  std::atomic<int> notYetRun{0};  // calls that returned before their work was done
  std::atomic<bool> done{false};
  std::atomic<DWORD> workerThread{0};
  win32ui::WorkerThread worker;
  ASSERT_TRUE(worker.Start([&] {
    workerThread = GetCurrentThreadId();
    for (int i = 0; i < kCalls; ++i) {
      bool ran = false;
      carrier.Run([&] {
        order.push_back(i);
        ranOn.push_back(GetCurrentThreadId());
        ran = true;
      });
      if (!ran) ++notYetRun;
    }
    done = true;
    PostMessageA(window.handle, WM_NULL, 0, 0);  // wake the loop below
  }));
  MSG message;
  while (!done && GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  worker.Join();
  EXPECT_FALSE(worker.Joinable());
  EXPECT_NE(workerThread, 0U);
  EXPECT_NE(workerThread, windowThread);

  EXPECT_EQ(notYetRun, 0);
  ASSERT_EQ(order.size(), static_cast<std::size_t>(kCalls));
  for (int i = 0; i < kCalls; ++i) {
    EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(ranOn[static_cast<std::size_t>(i)], windowThread);
  }
}

TEST(WindowThread, RunsAtOnceOnTheWindowsOwnThreadAndBeforeAWindowExists) {
  win32ui::WindowThread unbound;
  bool ran = false;
  unbound.Run([&] { ran = true; });
  EXPECT_TRUE(ran);

  CarrierWindow window;
  ASSERT_NE(window.handle, nullptr);
  win32ui::WindowThread carrier;
  carrier.Bind(window.handle);
  ran = false;
  carrier.Run([&] { ran = true; });  // no message loop runs: it must not need one
  EXPECT_TRUE(ran);
}

}  // namespace
