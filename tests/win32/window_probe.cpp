#include "window_probe.h"

#include <array>
#include <vector>

namespace probe {
namespace {

constexpr int kBoxTextId = 0xFFFF;  // the text of a system message box

struct Search {
  DWORD processId;
  const char* windowClass;
  HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  std::array<char, 64> name{};
  GetClassNameA(window, name.data(), static_cast<int>(name.size()));
  if (owner == search->processId && IsWindowVisible(window) &&
      lstrcmpA(name.data(), search->windowClass) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindTopLevel(DWORD processId, const char* windowClass) {
  Search search{processId, windowClass, nullptr};
  EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK MatchId(HWND window, LPARAM parameter) {
  auto* wanted = reinterpret_cast<std::pair<int, HWND>*>(parameter);
  if (GetDlgCtrlID(window) == wanted->first) {
    wanted->second = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectChildren(HWND window, LPARAM parameter) {
  reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
  return TRUE;
}

// The system's own icons, which a message box shows by the same handles.
std::string IconName(HICON icon) {
  if (!icon) return "none";
  const std::array<std::pair<LPCSTR, const char*>, 4> known{{
      {reinterpret_cast<LPCSTR>(IDI_WARNING), "warning"},
      {reinterpret_cast<LPCSTR>(IDI_ERROR), "error"},
      {reinterpret_cast<LPCSTR>(IDI_QUESTION), "question"},
      {reinterpret_cast<LPCSTR>(IDI_INFORMATION), "information"},
  }};
  for (const auto& [id, name] : known) {
    if (LoadIconA(nullptr, id) == icon) return name;
  }
  return "other";
}

}  // namespace

HWND FindForm(DWORD processId) { return FindTopLevel(processId, win32ui::kFormClass); }
HWND FindBox(DWORD processId) { return FindTopLevel(processId, "#32770"); }

HWND Control(HWND form, win32ui::ControlId id) {
  std::pair<int, HWND> wanted{id, nullptr};
  EnumChildWindows(form, MatchId, reinterpret_cast<LPARAM>(&wanted));
  return wanted.second;
}

std::string Text(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<std::size_t>(
      GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::string CaptionText(HWND window) {
  const std::string raw = Text(window);
  std::string text;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    text += raw[i];
    if (raw[i] == '&' && i + 1 < raw.size() && raw[i + 1] == '&') ++i;
  }
  return text;
}

Box ReadBox(HWND box) {
  Box result;
  result.title = Text(box);
  result.owner = GetWindow(box, GW_OWNER);
  result.buttons = GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO) ? "yesno" : "ok";
  result.icon = "none";
  std::vector<HWND> children;
  EnumChildWindows(box, CollectChildren, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    std::array<char, 32> name{};
    GetClassNameA(child, name.data(), static_cast<int>(name.size()));
    if (lstrcmpiA(name.data(), "Static") != 0) continue;
    const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON) {
      if (IsWindowVisible(child)) {
        result.icon = IconName(reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)));
      }
    } else if (GetDlgCtrlID(child) == kBoxTextId) {
      result.text = Text(child);
    }
  }
  return result;
}

RECT PlaceInParent(HWND control) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

}  // namespace probe
