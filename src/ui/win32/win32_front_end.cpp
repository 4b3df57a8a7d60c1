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

// What the combo box's edit field holds.
std::string EditText(HWND combo) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(combo)) + 1, '\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(combo, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The text of the combo box's list line `index`.
std::string LineText(HWND combo, LRESULT index) {
  const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return std::string();
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT got = SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                   reinterpret_cast<LPARAM>(text.data()));
  text.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return text;
}

}  // namespace

Win32FrontEnd::Win32FrontEnd() {
  win32ui::BecomePerMonitorDpiAware();
  if (window_.Create(win32ui::kApplicationTitle)) windowThread_.Bind(window_.Form());
}

Win32FrontEnd::~Win32FrontEnd() {
  worker_.Join();
  windowThread_.Bind(nullptr);
}

void Win32FrontEnd::Run(FormActions& actions) {
  MSG message;
  if (quit_ || closed_ || !window_.Exists()) {
    // Start-up already ended the program; its quit request must not close
    // a box shown later.
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return;
  }
  actions_ = &actions;
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
  actions_ = nullptr;
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

// ---- The picture: what changed on the form, shown natively. This runs on
// the window's thread, carried there with the change.

void Win32FrontEnd::PictureChanged(const PictureChange& change) {
  using Part = PictureChange::Part;
  const WindowPicture& p = Picture();
  switch (change.part) {
    case Part::Caption:
      if (window_.Exists()) SetWindowTextA(window_.Form(), p.caption.c_str());
      break;
    case Part::Label:
      SetWindowTextA(Control(kSelectDriveLabel), p.label.c_str());
      break;
    case Part::Status: {
      HWND groupBox = Control(kGroupBox2);
      SetWindowTextA(groupBox, WithoutMnemonics(p.status).c_str());
      // A shorter caption leaves the longer one's pixels unless the parent
      // paints the group box's place again.
      RECT place{};
      GetWindowRect(groupBox, &place);
      HWND parent = GetParent(groupBox);
      MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
      InvalidateRect(parent, &place, TRUE);
      break;
    }
    case Part::Button: {
      HWND button = Control(kFlashButton);
      SetWindowTextA(button, WithoutMnemonics(p.buttonCaption).c_str());
      EnableWindow(button, p.buttonEnabled ? TRUE : FALSE);
      break;
    }
    case Part::Progress: {
      HWND bar = Control(kProgressBar);
      SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(p.max));
      SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(p.position), 0);
      break;
    }
    case Part::ComboAdded:
    case Part::ComboInserted:
      SendMessageA(
          Control(kComboBox), CB_INSERTSTRING, static_cast<WPARAM>(change.index),
          reinterpret_cast<LPARAM>(p.comboItems[static_cast<std::size_t>(change.index)].c_str()));
      // The form's selection keeps its number; the system's moves with its line.
      ShowComboSelection();
      break;
    case Part::ComboDeleted:
      SendMessageA(Control(kComboBox), CB_DELETESTRING, static_cast<WPARAM>(change.index), 0);
      ShowComboSelection();
      break;
    case Part::ComboSelected:
      ShowComboSelection();
      break;
    case Part::ComboText:
      break;  // typed here, or the selected line's, which the selection shows
    case Part::FilesVisibility:
      ShowWindow(Control(kFileListBox1), p.filesVisible ? SW_SHOW : SW_HIDE);
      break;
    case Part::Files: {
      HWND list = Control(kFileListBox1);
      SendMessageA(list, WM_SETREDRAW, FALSE, 0);
      SendMessageA(list, LB_RESETCONTENT, 0, 0);
      for (const std::string& name : p.fileNames) {
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
      }
      SendMessageA(list, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(list, nullptr, TRUE);
      fileSelection_ = -1;
      break;
    }
  }
}

void Win32FrontEnd::ShowComboSelection() {
  const WindowPicture& p = Picture();
  HWND combo = Control(kComboBox);
  const LRESULT listed = SendMessageA(combo, CB_GETCURSEL, 0, 0);
  if (listed == p.comboIndex) return;
  // The user typed over the list's line: the field holds the form's text,
  // not that line's. Clearing the list's selection would clear the typing.
  if (p.comboIndex == -1 && listed >= 0) {
    const std::string field = EditText(combo);
    if (field == p.comboText && field != LineText(combo, listed)) return;
  }
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(p.comboIndex), 0);
}

// ---- The user's actions, on the window's thread.

void Win32FrontEnd::ComboSelectionChanged(int index) {
  if (!Idle()) {
    ShowComboSelection();  // the list moved on its own; the form did not
    return;
  }
  if (!actions_->SelectComboItem(index)) ShowComboSelection();
}

void Win32FrontEnd::ComboEdited(const std::string& text) {
  if (Idle()) actions_->TypeComboText(text);
}

void Win32FrontEnd::FileClicked(int index) {
  if (!Idle()) {
    SendMessageA(Control(kFileListBox1), LB_SETCURSEL, static_cast<WPARAM>(fileSelection_), 0);
    return;
  }
  fileSelection_ = index;
  actions_->ClickFileEntry(index);
}

void Win32FrontEnd::ButtonClicked() {
  // A second click while a run is in progress is dropped here.
  if (!Idle()) return;
  running_ = true;
  holdingSession_ = true;
  win32ui::BlockSessionEnd(window_.Form(), kRunInProgress);
  HWND form = window_.Form();
  FormActions* actions = actions_;
  auto run = [this, form, actions] {
    try {
      actions->PressFlashButton();
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

void Win32FrontEnd::SequenceEnded() {
  // Before the restart is asked for: a window that still refused the
  // session's end would have the system cancel the very restart the user
  // chose, or show this program's reason for blocking it.
  windowThread_.Run([&] { LetSessionEnd(); });
}

void Win32FrontEnd::LetSessionEnd() {
  if (!holdingSession_) return;
  holdingSession_ = false;
  win32ui::AllowSessionEnd(window_.Form());
}

void Win32FrontEnd::RunEnded() {
  worker_.Join();
  running_ = false;
  LetSessionEnd();
  if (quit_) PostQuitMessage(0);
}

void Win32FrontEnd::CloseRequested() {
  if (running_) {
    RefusalRequested();
    return;
  }
  if (actions_) {
    actions_->CloseByUser();
  } else {
    CloseWindow();
  }
}

bool Win32FrontEnd::MaySessionEnd() {
  if (!holdingSession_) return true;
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
