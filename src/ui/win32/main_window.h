// The main window and its native controls, laid out at the monitor's DPI.
// A hidden-size application window owns the form and carries the task-bar
// button, so the button shows the application's title while the form's
// caption changes with what it shows.
#pragma once

#include <windows.h>

#include <string>

#include "ui/win32/form_font.h"
#include "ui/win32/window_events.h"
#include "ui/win32/window_layout.h"

namespace win32ui {

// Posted by the worker thread when a click's handler has returned.
inline constexpr UINT kRunEndedMessage = WM_APP + 2;
// Posted to show the refusal box outside the system's end-of-session query.
inline constexpr UINT kShowRefusalMessage = WM_APP + 3;

class MainWindow {
 public:
  explicit MainWindow(WindowEvents& events) : events_(events) {}
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the windows, not yet shown. False when the system refused.
  bool Create(const char* applicationTitle);
  void Show();
  void Destroy();

  HWND Form() const { return form_; }
  HWND Control(ControlId id) const;
  bool Exists() const { return form_ != nullptr; }

  // True for keyboard and mouse input aimed at a control: what a run in
  // progress drops. Moving the window and its system keys stay available.
  bool IsInputForControls(const MSG& message) const;

 private:
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ApplicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK GroupBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  LRESULT HandleForm(UINT message, WPARAM wParam, LPARAM lParam);
  void HandleCommand(int id, int code);
  void CreateControls();
  void ApplyDpi(unsigned dpi, const RECT* suggested);
  void FitComboHeight(int fieldHeight);

  WindowEvents& events_;
  HWND application_ = nullptr;
  HWND form_ = nullptr;
  HWND controls_[kControlPlaces.size()] = {};
  FormFont font_;
  unsigned dpi_ = kDesignDpi;
  HWND lastFocus_ = nullptr;
};

}  // namespace win32ui
