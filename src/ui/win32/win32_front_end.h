// The native Windows window. The button's handler runs on a worker thread,
// so the window keeps painting, moving and answering the system through a
// whole flash; everything that handler asks of the window is carried to the
// window's thread and done there, in order, while the handler waits.
#pragma once

#include <functional>

#include "app/front_end.h"
#include "ui/win32/main_window.h"
#include "ui/win32/window_thread.h"
#include "ui/win32/worker_thread.h"

class Win32FrontEnd final : public FrontEnd, private win32ui::WindowEvents {
 public:
  Win32FrontEnd();
  ~Win32FrontEnd() override;
  Win32FrontEnd(const Win32FrontEnd&) = delete;
  Win32FrontEnd& operator=(const Win32FrontEnd&) = delete;

  void Run(FormActions& actions) override;

  // FormHost
  BoxAnswer ShowMessage(const std::string& text, BoxKind kind, BoxButtons buttons) override;
  void SetCursor(CursorShape cursor) override;
  void Repaint() override;
  void CloseWindow() override;
  void PostQuit() override;
  void SequenceEnded() override;

 private:
  // The picture is changed and shown on the window's thread, so the window
  // never reads it while the worker's handler changes it.
  void Carry(const std::function<void()>& update) override { windowThread_.Run(update); }
  void PictureChanged(const PictureChange& change) override;

  // WindowEvents, all on the window's thread.
  void ComboSelectionChanged(int index) override;
  void ComboEdited(const std::string& text) override;
  void FileClicked(int index) override;
  void ButtonClicked() override;
  void CloseRequested() override;
  bool MaySessionEnd() override;
  void WindowDestroyed() override;
  void RunEnded() override;
  void RefusalRequested() override;
  bool CursorBusy() const override { return cursor_ == CursorShape::Busy; }

  bool Idle() const { return actions_ && !running_; }
  void LetSessionEnd();
  HWND Control(win32ui::ControlId id) const { return window_.Control(id); }
  HWND BoxOwner() const;
  void ShowComboSelection();

  win32ui::MainWindow window_{*this};
  win32ui::WindowThread windowThread_;
  FormActions* actions_ = nullptr;  // set while Run runs: user input goes to it
  win32ui::WorkerThread worker_;
  bool running_ = false;  // a click's handler is running on the worker
  // The session's end is refused: from the click until the drive is left
  // alone, not through the restart question that follows.
  bool holdingSession_ = false;
  bool shown_ = false;
  bool closed_ = false;
  bool quit_ = false;
  int fileSelection_ = -1;
  CursorShape cursor_ = CursorShape::Default;
};
