#include "ui/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>

#include "app/power_events_win32.h"
#include "common/system_library_win32.h"
#include "ui/win32/dpi.h"
#include "ui/win32/window_thread.h"

namespace win32ui {
namespace {

constexpr DWORD kFormStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;
constexpr int kComboDropLines = 8;  // lines the opened list shows
// Sent since Windows 8.1 when the window's monitor DPI changes; older headers
// lack it.
constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED

using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
using InitCommonControlsFn = void(WINAPI*)();

WNDPROC groupBoxDefaultProc = nullptr;

MainWindow* Owner(HWND window) {
  return reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

std::size_t IndexOf(ControlId id) {
  const auto found = std::find_if(kControlPlaces.begin(), kControlPlaces.end(),
                                  [id](const ControlPlace& place) { return place.id == id; });
  return static_cast<std::size_t>(found - kControlPlaces.begin());
}

// The panel and the group box hold controls; their notifications and colour
// requests belong to the form.
bool ForwardsToForm(UINT message) {
  return message == WM_COMMAND || message == WM_NOTIFY ||
         (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC);
}

// The top-level window a control sits in (GetAncestor's GA_ROOT, which
// Windows 95 lacks): up through the parents for as long as they are children.
HWND FormOf(HWND child) {
  HWND window = child;
  while (window && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0) {
    HWND parent = GetParent(window);
    if (!parent) break;
    window = parent;
  }
  return window;
}

// The progress bar's class. Windows 95 without Internet Explorer 3 has only
// InitCommonControls; a comctl32 that does not know every class asked for
// refuses the whole request, and the old call registers what is needed.
// comctl32 is loaded here, not imported: an import would load it, and the
// DLLs it loads by name, before the program could keep its own folder out
// of the search.
void RegisterCommonControls() {
  static const HMODULE library = win32::CommonControlsLibrary();
  static const auto initEx =
      win32::LibraryFunction<InitCommonControlsExFn>(library, "InitCommonControlsEx");
  static const auto init =
      win32::LibraryFunction<InitCommonControlsFn>(library, "InitCommonControls");
  INITCOMMONCONTROLSEX common{sizeof common, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  if ((!initEx || !initEx(&common)) && init) init();
}

bool RegisterClasses(HINSTANCE instance, WNDPROC form, WNDPROC application, WNDPROC panel) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));

  windowClass.lpfnWndProc = form;
  windowClass.lpszClassName = kFormClass;
  if (!RegisterClassExA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  windowClass.lpfnWndProc = application;
  windowClass.lpszClassName = kApplicationClass;
  if (!RegisterClassExA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = panel;
  windowClass.lpszClassName = kPanelClass;
  return RegisterClassExA(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

MainWindow::~MainWindow() {
  Destroy();
  if (font_.handle) DeleteObject(font_.handle);
}

bool MainWindow::Create(const char* applicationTitle) {
  RegisterCommonControls();
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!RegisterClasses(instance, FormProc, ApplicationProc, PanelProc)) return false;

  application_ = CreateWindowExA(0, kApplicationClass, applicationTitle,
                                 WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, kFormLeft,
                                 kFormTop, 0, 0, nullptr, nullptr, instance, this);
  if (!application_) return false;
  // The caption stays empty until the form sets one.
  form_ = CreateWindowExA(kFormExStyle, kFormClass, "", kFormStyle, kFormLeft, kFormTop,
                          kClientWidth, kClientHeight, application_, nullptr, instance, this);
  if (!form_) return false;
  CreateControls();
  ApplyDpi(WindowDpi(form_), nullptr);
  return true;
}

void MainWindow::Show() {
  ShowWindow(application_, SW_SHOWNA);
  ShowWindow(form_, SW_SHOWNORMAL);
  SetForegroundWindow(form_);
  SetFocus(Control(kComboBox));
  UpdateWindow(form_);
}

void MainWindow::Destroy() {
  // Destroying the owner takes the form with it.
  if (application_) DestroyWindow(application_);
  application_ = nullptr;
  form_ = nullptr;
}

HWND MainWindow::Control(ControlId id) const { return controls_[IndexOf(id)]; }

bool MainWindow::IsInputForControls(const MSG& message) const {
  if (!form_ || message.hwnd == form_ || !IsChild(form_, message.hwnd)) return false;
  const UINT m = message.message;
  if (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) return true;
  if (m == WM_KEYDOWN || m == WM_KEYUP || m == WM_CHAR || m == WM_DEADCHAR) return true;
  // Alt+Down and Alt+Up open the combo box's list; Alt+F4 and the system
  // menu must still reach the form, which then says why it stays open.
  if (m == WM_SYSKEYDOWN || m == WM_SYSKEYUP)
    return message.wParam == VK_DOWN || message.wParam == VK_UP;
  return false;
}

void MainWindow::CreateControls() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  struct Kind {
    const char* windowClass;
    const char* text;
    DWORD style;
    DWORD exStyle;
  };
  for (std::size_t i = 0; i < kControlPlaces.size(); ++i) {
    const ControlPlace& place = kControlPlaces[i];
    Kind kind{};
    switch (place.id) {
      case kPanel1:
        kind = {kPanelClass, "", WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};
        break;
      case kSelectDriveLabel:
        kind = {"STATIC", "", SS_LEFT | SS_NOPREFIX, 0};
        break;
      case kComboBox:
        kind = {"COMBOBOX", "",
                CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP, 0};
        break;
      case kFileListBox1:
        kind = {"LISTBOX", "",
                LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP,
                WS_EX_CLIENTEDGE};
        break;
      case kGroupBox2:
        kind = {"BUTTON", "", BS_GROUPBOX, WS_EX_CONTROLPARENT};
        break;
      case kProgressBar:
        kind = {PROGRESS_CLASSA, "", PBS_SMOOTH, 0};
        break;
      case kFlashButton:
        kind = {"BUTTON", "FLASH", BS_PUSHBUTTON | WS_TABSTOP, 0};
        break;
    }
    HWND parent = place.parent == 0 ? form_ : Control(static_cast<ControlId>(place.parent));
    controls_[i] = CreateWindowExA(
        kind.exStyle, kind.windowClass, kind.text, WS_CHILD | WS_VISIBLE | kind.style, place.left,
        place.top, place.width, place.height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(place.id)), instance, nullptr);
  }
  HWND groupBox = Control(kGroupBox2);
  groupBoxDefaultProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      groupBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::GroupBoxProc)));
  SendMessageA(Control(kProgressBar), PBM_SETRANGE32, 0, 100);
}

void MainWindow::ApplyDpi(unsigned dpi, const RECT* suggested) {
  dpi_ = dpi;
  const FormFont previous = font_;
  font_ = CreateFormFont(dpi);
  for (HWND control : controls_)
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.handle), FALSE);
  if (previous.handle) DeleteObject(previous.handle);

  const int lineHeight = ScaleForDpi(kListItemHeight, dpi);
  for (std::size_t i = 0; i < kControlPlaces.size(); ++i) {
    const ControlPlace& place = kControlPlaces[i];
    int height = ScaleForDpi(place.height, dpi);
    // A drop-down combo box's window reaches down over its opened list.
    if (place.id == kComboBox) height += lineHeight * kComboDropLines + 2;
    MoveWindow(controls_[i], ScaleForDpi(place.left, dpi), ScaleForDpi(place.top, dpi),
               ScaleForDpi(place.width, dpi), height, TRUE);
  }
  SendMessageA(Control(kFileListBox1), LB_SETITEMHEIGHT, 0, lineHeight);
  SendMessageA(Control(kComboBox), CB_SETITEMHEIGHT, 0, lineHeight);
  FitComboHeight(ScaleForDpi(kControlPlaces[IndexOf(kComboBox)].height, dpi));

  RECT client{0, 0, ScaleForDpi(kClientWidth, dpi), ScaleForDpi(kClientHeight, dpi)};
  const RECT frame = WindowRectForClient(client, kFormStyle, kFormExStyle, dpi);
  RECT now{};
  GetWindowRect(form_, &now);
  const int left = suggested ? suggested->left : now.left;
  const int top = suggested ? suggested->top : now.top;
  SetWindowPos(form_, nullptr, left, top, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(form_, nullptr, TRUE);
}

// The closed combo box's height follows its edit field's; the field is set
// so that the whole box is as high as the layout wants it.
void MainWindow::FitComboHeight(int wanted) {
  HWND combo = Control(kComboBox);
  int field = static_cast<int>(SendMessageA(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  for (int attempt = 0; attempt < 2; ++attempt) {
    RECT box{};
    GetWindowRect(combo, &box);
    const int difference = wanted - (box.bottom - box.top);
    if (difference == 0 || field + difference <= 0) return;
    field += difference;
    SendMessageA(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  }
}

void MainWindow::HandleCommand(int id, int code) {
  switch (id) {
    case kComboBox:
      if (code == CBN_SELCHANGE) {
        events_.ComboSelectionChanged(
            static_cast<int>(SendMessageA(Control(kComboBox), CB_GETCURSEL, 0, 0)));
      } else if (code == CBN_EDITCHANGE) {
        HWND combo = Control(kComboBox);
        std::string text(static_cast<std::size_t>(GetWindowTextLengthA(combo)) + 1, '\0');
        text.resize(static_cast<std::size_t>(
            GetWindowTextA(combo, text.data(), static_cast<int>(text.size()))));
        events_.ComboEdited(text);
      }
      break;
    case kFileListBox1:
      if (code == LBN_SELCHANGE) {
        events_.FileClicked(
            static_cast<int>(SendMessageA(Control(kFileListBox1), LB_GETCURSEL, 0, 0)));
      }
      break;
    case kFlashButton:
      if (code == BN_CLICKED) events_.ButtonClicked();
      break;
    default:
      break;
  }
}

LRESULT MainWindow::HandleForm(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kCarriedCallMessage:
      return RunCarriedCall(lParam);
    case kRunEndedMessage:
      events_.RunEnded();
      return 0;
    case kShowRefusalMessage:
      events_.RefusalRequested();
      return 0;
    case WM_COMMAND:
      if (lParam) HandleCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CLOSE:
      events_.CloseRequested();
      return 0;
    case WM_QUERYENDSESSION:
      return events_.MaySessionEnd() ? TRUE : FALSE;
    case WM_POWERBROADCAST:
      return AnswerPowerBroadcast(wParam);
    case WM_SETCURSOR:
      if (!events_.CursorBusy()) break;
      ::SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case kDpiChangedMessage:
      ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_SYSCOMMAND:
      // An owned window cannot go to the task bar by itself: its owner does,
      // and takes the form along.
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        ShowWindow(application_, SW_MINIMIZE);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(form_, focus)) lastFocus_ = focus;
      } else if (lastFocus_ && IsWindow(lastFocus_)) {
        SetFocus(lastFocus_);
        return 0;
      }
      break;
    case WM_DESTROY:
      form_ = nullptr;
      events_.WindowDestroyed();
      return 0;
    default:
      break;
  }
  return DefWindowProcA(form_, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->form_ = window;
  }
  MainWindow* self = Owner(window);
  if (!self || self->form_ != window) return DefWindowProcA(window, message, wParam, lParam);
  return self->HandleForm(message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::ApplicationProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  MainWindow* self = Owner(window);
  if (self && self->form_) {
    switch (message) {
      case WM_CLOSE:  // "Close window" on the task-bar button
        PostMessageA(self->form_, WM_CLOSE, 0, 0);
        return 0;
      case WM_ACTIVATE:
        // The task-bar button was clicked: the user means the form, or the
        // box it is showing.
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) {
          HWND target = GetLastActivePopup(window);
          if (target == window) target = self->form_;
          if (IsWindowVisible(target) && IsWindowEnabled(target)) SetActiveWindow(target);
          return 0;
        }
        break;
      default:
        break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (ForwardsToForm(message)) return SendMessageA(FormOf(window), message, wParam, lParam);
  if (message == WM_PAINT) {
    // A raised one-pixel bevel, the panel's usual frame.
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT bounds;
    GetClientRect(window, &bounds);
    DrawEdge(dc, &bounds, BDR_RAISEDINNER, BF_RECT);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::GroupBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (ForwardsToForm(message)) return SendMessageA(FormOf(window), message, wParam, lParam);
  return CallWindowProcA(groupBoxDefaultProc, window, message, wParam, lParam);
}

}  // namespace win32ui
