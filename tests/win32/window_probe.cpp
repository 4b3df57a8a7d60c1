#include "window_probe.h"

#include <array>
#include <cstdint>
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

std::vector<std::uint32_t> Pixels(HDC source, HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  GetDIBits(source, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  return pixels;
}

// Icon handles do not cross processes, so the box's icon is told by its
// look: what the screen shows where the icon is, against each of the
// system's icons drawn on the same background.
std::string IconName(HWND iconControl) {
  RECT place{};
  GetWindowRect(iconControl, &place);
  const int width = place.right - place.left;
  const int height = place.bottom - place.top;
  if (width <= 0 || height <= 0) return "none";
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, place.left, place.top, SRCCOPY);
  SelectObject(memory, previous);
  const std::vector<std::uint32_t> shown = Pixels(memory, bitmap, width, height);

  const std::array<std::pair<LPCSTR, const char*>, 4> known{{
      {reinterpret_cast<LPCSTR>(IDI_WARNING), "warning"},
      {reinterpret_cast<LPCSTR>(IDI_ERROR), "error"},
      {reinterpret_cast<LPCSTR>(IDI_QUESTION), "question"},
      {reinterpret_cast<LPCSTR>(IDI_INFORMATION), "information"},
  }};
  std::string best = "other";
  std::size_t fewest = shown.size() / 20;  // at most 5 % of the pixels may differ
  for (const auto& [id, name] : known) {
    HBRUSH background =
        CreateSolidBrush(RGB((shown[0] >> 16) & 0xFF, (shown[0] >> 8) & 0xFF, shown[0] & 0xFF));
    previous = SelectObject(memory, bitmap);
    RECT all{0, 0, width, height};
    FillRect(memory, &all, background);
    DrawIconEx(memory, 0, 0, LoadIconA(nullptr, id), width, height, 0, nullptr, DI_NORMAL);
    SelectObject(memory, previous);
    DeleteObject(background);
    const std::vector<std::uint32_t> drawn = Pixels(memory, bitmap, width, height);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < shown.size(); ++i)
      differing += (shown[i] ^ drawn[i]) & 0xFFFFFF ? 1 : 0;
    if (differing <= fewest) {
      fewest = differing;
      best = name;
    }
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return best;
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
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
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
      if (IsWindowVisible(child) && SendMessageA(child, STM_GETICON, 0, 0)) {
        result.icon = IconName(child);
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
