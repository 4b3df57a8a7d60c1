#include "ui/win32/win32_front_end.h"

#include <commctrl.h>

#include <exception>

#include "app/flash_form.h"
#include "ui/win32/dpi.h"
#include "ui/win32/message_boxes.h"
#include "ui/win32/session_guard.h"

using win32ui::kComboBox;
using win32ui::kFileListBox1;
using win32ui::kFlashButton;
using win32ui::kGroupBox2;
using win32ui::kProgressBar;
using win32ui::kSelectDriveLabel;

namespace {

constexpr char kRunInProgress[] =
    "A flash is in progress!\n\nPlease wait until it has ended before you close the window "
    "or turn off the system.";

// Group boxes and buttons read "&" as the mark of a shortcut letter.
std::string WithoutMnemonics(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    result += c;
    if (c == '&') result += '&';
  }
  return result;
}

}  // namespace

Win32FrontEnd::Win32FrontEnd() {
  win32ui::BecomePerMonitorDpiAware();
  if (window_.Create(kApplicationTitle)) windowThread_.Bind(window_.Form());
}

Win32FrontEnd::~Win32FrontEnd() {
  worker_.Join();
  windowThread_.Bind(nullptr);
}

void Win32FrontEnd::Run(TFlashForm& form) {
  MSG message;
  if (quit_ || closed_ || !window_.Exists()) {
    // Start-up already ended the program; its quit request must not close
    // a box shown later.
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return;
  }
  form_ = &form;
  window_.Show();
  shown_ = true;
  while (true) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      if (!running_) break;
      continue;  // the form is in use on the worker; RunEnded asks again
    }
    if (running_ && window_.IsInputForControls(message)) continue;
    if (window_.Exists() && IsDialogMessageA(window_.Form(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  worker_.Join();
  form_ = nullptr;
}

HWND Win32FrontEnd::BoxOwner() const {
  return shown_ && window_.Exists() ? window_.Form() : nullptr;
}

// ---- FormHost: each call is carried to the window's thread.

BoxAnswer Win32FrontEnd::ShowMessage(const std::string& text, BoxKind kind, BoxButtons buttons) {
  BoxAnswer answer = buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
  windowThread_.Run([&] { answer = win32ui::ShowBox(BoxOwner(), text, kind, buttons); });
  return answer;
}

void Win32FrontEnd::SetCursor(CursorShape cursor) {
  windowThread_.Run([&] {
    cursor_ = cursor;
    if (!window_.Exists()) return;
    POINT at{};
    GetCursorPos(&at);
    HWND under = WindowFromPoint(at);
    if (under == window_.Form() || IsChild(window_.Form(), under)) {
      ::SetCursor(LoadCursorA(
          nullptr, reinterpret_cast<LPCSTR>(cursor == CursorShape::Busy ? IDC_WAIT : IDC_ARROW)));
    }
  });
}

void Win32FrontEnd::Repaint() {
  windowThread_.Run([&] {
    if (!window_.Exists()) return;
    RedrawWindow(window_.Form(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  });
}

void Win32FrontEnd::CloseWindow() {
  windowThread_.Run([&] {
    closed_ = true;
    window_.Destroy();
  });
}

void Win32FrontEnd::PostQuit() {
  windowThread_.Run([&] {
    quit_ = true;
    // While a handler runs on the worker the loop must go on: RunEnded posts it.
    if (!running_) PostQuitMessage(0);
  });
}

// ---- ControlObserver: what changed on the form, shown natively.

void Win32FrontEnd::WindowCaptionChanged(const std::string& caption) {
  windowThread_.Run([&] {
    if (window_.Exists()) SetWindowTextA(window_.Form(), caption.c_str());
  });
}

void Win32FrontEnd::LabelChanged(const std::string& caption) {
  windowThread_.Run([&] { SetWindowTextA(Control(kSelectDriveLabel), caption.c_str()); });
}

void Win32FrontEnd::StatusChanged(const std::string& caption) {
  windowThread_.Run([&] {
    HWND groupBox = Control(kGroupBox2);
    SetWindowTextA(groupBox, WithoutMnemonics(caption).c_str());
    // A shorter caption leaves the longer one's pixels unless the parent
    // paints the group box's place again.
    RECT place{};
    GetWindowRect(groupBox, &place);
    HWND parent = GetParent(groupBox);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    InvalidateRect(parent, &place, TRUE);
  });
}

void Win32FrontEnd::ButtonChanged(const std::string& caption, bool enabled) {
  windowThread_.Run([&] {
    HWND button = Control(kFlashButton);
    SetWindowTextA(button, WithoutMnemonics(caption).c_str());
    EnableWindow(button, enabled ? TRUE : FALSE);
  });
}

void Win32FrontEnd::ProgressChanged(std::uint32_t position, std::uint32_t max) {
  windowThread_.Run([&] {
    HWND bar = Control(kProgressBar);
    SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(max));
    SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  });
}

void Win32FrontEnd::ComboAdded(int index, const std::string& text) { ComboInserted(index, text); }

void Win32FrontEnd::ComboInserted(int index, const std::string& text) {
  windowThread_.Run([&] {
    SendMessageA(Control(kComboBox), CB_INSERTSTRING, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.c_str()));
    // The form's selection keeps its number; the system's moves with its line.
    ShowComboSelection();
  });
}

void Win32FrontEnd::ComboDeleted(int index) {
  windowThread_.Run([&] {
    SendMessageA(Control(kComboBox), CB_DELETESTRING, static_cast<WPARAM>(index), 0);
    if (comboSelection_ == index) {
      comboSelection_ = -1;
    } else if (comboSelection_ > index) {
      --comboSelection_;
    }
    ShowComboSelection();
  });
}

void Win32FrontEnd::ComboSelected(int index) {
  windowThread_.Run([&] {
    comboSelection_ = index;
    // Clearing the selection would also clear the text the user is typing.
    if (!typing_) ShowComboSelection();
  });
}

void Win32FrontEnd::ShowComboSelection() {
  HWND combo = Control(kComboBox);
  if (SendMessageA(combo, CB_GETCURSEL, 0, 0) != comboSelection_) {
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(comboSelection_), 0);
  }
}

void Win32FrontEnd::FilesVisibilityChanged(bool visible) {
  windowThread_.Run([&] { ShowWindow(Control(kFileListBox1), visible ? SW_SHOW : SW_HIDE); });
}

void Win32FrontEnd::FilesReread(const std::vector<std::string>& names) {
  windowThread_.Run([&] {
    HWND list = Control(kFileListBox1);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& name : names) {
      SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    fileSelection_ = -1;
  });
}

// ---- The user's actions, on the window's thread.

void Win32FrontEnd::ComboSelectionChanged(int index) {
  if (!Idle()) {
    ShowComboSelection();  // the list moved on its own; the form did not
    return;
  }
  if (!form_->SelectComboItem(index)) ShowComboSelection();
}

void Win32FrontEnd::ComboEdited(const std::string& text) {
  if (!Idle()) return;
  typing_ = true;
  form_->TypeComboText(text);
  typing_ = false;
}

void Win32FrontEnd::FileClicked(int index) {
  if (!Idle()) {
    SendMessageA(Control(kFileListBox1), LB_SETCURSEL, static_cast<WPARAM>(fileSelection_), 0);
    return;
  }
  fileSelection_ = index;
  form_->ClickFileEntry(index);
}

void Win32FrontEnd::ButtonClicked() {
  // A second click while a run is in progress is dropped here.
  if (!Idle()) return;
  worker_.Join();
  running_ = true;
  win32ui::BlockSessionEnd(window_.Form(), kRunInProgress);
  HWND form = window_.Form();
  TFlashForm* flashForm = form_;
  auto run = [this, form, flashForm] {
    try {
      flashForm->PressFlashButton();
    } catch (const std::exception& e) {
      // Nothing is expected to throw; if something does, the user hears of
      // it and the window stays usable.
      ShowMessage(e.what(), BoxKind::Error, BoxButtons::Ok);
    }
    PostMessageA(form, win32ui::kRunEndedMessage, 0, 0);
  };
  // Without a thread the run still happens, on this thread: the window then
  // stops painting until it ends, but the user's request is carried out.
  if (!worker_.Start(run)) run();
}

void Win32FrontEnd::RunEnded() {
  worker_.Join();
  running_ = false;
  win32ui::AllowSessionEnd(window_.Form());
  if (quit_) PostQuitMessage(0);
}

void Win32FrontEnd::CloseRequested() {
  if (running_) {
    RefusalRequested();
    return;
  }
  if (form_) {
    form_->CloseByUser();
  } else {
    CloseWindow();
  }
}

bool Win32FrontEnd::MaySessionEnd() {
  if (!running_) return true;
  // The system waits for this answer: the box comes once it has it.
  PostMessageA(window_.Form(), win32ui::kShowRefusalMessage, 0, 0);
  return false;
}

void Win32FrontEnd::RefusalRequested() {
  win32ui::ShowBox(BoxOwner(), kRunInProgress, BoxKind::Warning, BoxButtons::Ok);
}

void Win32FrontEnd::WindowDestroyed() {
  closed_ = true;
  PostQuitMessage(0);
}
