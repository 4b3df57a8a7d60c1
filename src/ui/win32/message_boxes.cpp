#include "ui/win32/message_boxes.h"

namespace win32ui {
namespace {

struct BoxStyle {
  const char* title;
  UINT flags;
};

BoxStyle StyleOf(BoxKind kind, BoxButtons buttons) {
  const UINT buttonFlags = buttons == BoxButtons::YesNo ? MB_YESNO : MB_OK;
  switch (kind) {
    case BoxKind::Warning:
      return {kWarningTitle, buttonFlags | MB_ICONWARNING};
    case BoxKind::Error:
      return {kErrorTitle, buttonFlags | MB_ICONERROR};
    case BoxKind::Confirm:
      return {kConfirmTitle, buttonFlags | MB_ICONQUESTION};
    case BoxKind::Plain:
      break;
  }
  return {kApplicationTitle, buttonFlags};
}

}  // namespace

BoxAnswer ShowBox(HWND owner, const std::string& text, BoxKind kind, BoxButtons buttons) {
  const BoxStyle style = StyleOf(kind, buttons);
  // Without an owner the box would open behind whatever the user was doing.
  const UINT placement = owner ? 0 : (MB_TASKMODAL | MB_SETFOREGROUND);
  const int answer = MessageBoxA(owner, text.c_str(), style.title, style.flags | placement);
  if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  return answer == IDYES ? BoxAnswer::Yes : BoxAnswer::No;
}

}  // namespace win32ui
