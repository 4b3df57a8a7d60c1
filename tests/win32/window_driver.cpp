// Drives the program's window from a script, as a user would, and checks
// what it shows. Run under Wine in the program's prefix:
//   window_driver.exe SCRIPT
// Every step waits (up to kPatience) for what it expects, so the script
// reads as what the user sees, in order. The first mismatch ends the run
// with exit code 1 and says what was seen instead.
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "window_probe.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using win32ui::ControlId;

constexpr auto kPatience = 60s;       // a flash with slow simulated commands included
constexpr auto kPollInterval = 5ms;   // short statuses must not slip by
constexpr UINT kAnswerWithin = 1000;  // ms: what the window manager allows a window
constexpr auto kPingInterval = 100ms;

// Splits a line into words; "quoted words" keep blanks and take \n, \t,
// \\, \" and \xHH.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    std::string word;
    if (line[i] != '"') {
      while (i < line.size() && line[i] != ' ') word += line[i++];
    } else {
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\' || i + 1 >= line.size()) {
          word += line[i];
          continue;
        }
        const char escaped = line[++i];
        if (escaped == 'n') {
          word += '\n';
        } else if (escaped == 't') {
          word += '\t';
        } else if (escaped == 'x' && i + 2 < line.size()) {
          word += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
          i += 2;
        } else {
          word += escaped;
        }
      }
      ++i;  // the closing quote
    }
    words.push_back(word);
  }
  return words;
}

std::string Shown(const std::string& text) {
  std::string shown = "\"";
  for (char c : text) {
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '"' || c == '\\') {
      shown += '\\';
      shown += c;
    } else {
      shown += c;
    }
  }
  return shown + "\"";
}

// A list line of a combo box or list box in another process. Asked in wide
// characters, with room to spare: the system copies the text across
// processes in its own encoding, which can be longer than the length it reported.
std::string ItemText(HWND control, UINT lengthMessage, UINT textMessage, int index) {
  const LRESULT length = SendMessageW(control, lengthMessage, static_cast<WPARAM>(index), 0);
  if (length < 0) return "(no such line)";
  std::wstring text(static_cast<std::size_t>(length) * 2 + 16, L'\0');
  const LRESULT copied = SendMessageW(control, textMessage, static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(text.data()));
  if (copied < 0) return "(no such line)";
  text.resize(static_cast<std::size_t>(copied));
  std::string narrow(text.size() * 2 + 1, '\0');
  narrow.resize(static_cast<std::size_t>(
      WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(),
                          static_cast<int>(narrow.size()), nullptr, nullptr)));
  return narrow;
}

class Driver {
 public:
  bool Step(const std::vector<std::string>& words);
  const std::string& Problem() const { return problem_; }
  ~Driver() {
    // A failed script must not leave the program behind on the display.
    if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 1);
    if (process_) CloseHandle(process_);
  }

 private:
  // Waits until `seen` returns the wanted text; false (and the last one seen) otherwise.
  bool WaitFor(const std::string& what, const std::string& wanted,
               const std::function<std::string()>& seen);
  bool Fail(const std::string& problem) {
    problem_ = problem;
    return false;
  }
  HWND Form() const { return probe::FindForm(processId_); }
  HWND Control(ControlId id) const {
    HWND form = Form();
    return form ? probe::Control(form, id) : nullptr;
  }
  std::string Read(const std::string& what, const std::vector<std::string>& words) const;
  bool Start(const std::string& program);
  bool ExpectBox(const std::vector<std::string>& words);
  bool Answer(const std::string& answer);
  bool Ping(HWND form);
  bool CloseAfterRun(HWND form);
  bool Snap(const std::string& name);
  bool CheckLayout(unsigned dpi);

  HANDLE process_ = nullptr;
  DWORD processId_ = 0;
  HWND box_ = nullptr;
  std::string problem_;
};

bool Driver::WaitFor(const std::string& what, const std::string& wanted,
                     const std::function<std::string()>& seen) {
  const auto end = Clock::now() + kPatience;
  std::string last;
  while (Clock::now() < end) {
    last = seen();
    // A trailing "*" stands for whatever follows (a size that varies by build).
    const bool prefix = !wanted.empty() && wanted.back() == '*';
    if (prefix ? last.compare(0, wanted.size() - 1, wanted, 0, wanted.size() - 1) == 0
               : last == wanted) {
      return true;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  return Fail(what + ": wanted " + Shown(wanted) + ", seen " + Shown(last));
}

std::string Driver::Read(const std::string& what, const std::vector<std::string>& words) const {
  HWND form = Form();
  if (!form) return "(no window)";
  auto index = [&](std::size_t at) { return words.size() > at ? std::stoi(words[at]) : 0; };
  if (what == "caption") return probe::Text(form);
  if (what == "owner") return probe::Text(GetWindow(form, GW_OWNER));
  if (what == "label") return probe::Text(Control(win32ui::kSelectDriveLabel));
  if (what == "status") return probe::CaptionText(Control(win32ui::kGroupBox2));
  if (what == "button") {
    HWND button = Control(win32ui::kFlashButton);
    return probe::CaptionText(button) + (IsWindowEnabled(button) ? " enabled" : " disabled");
  }
  if (what == "progress") {
    HWND bar = Control(win32ui::kProgressBar);
    const auto position = SendMessageA(bar, PBM_GETPOS, 0, 0);
    const auto max = SendMessageA(bar, PBM_GETRANGE, FALSE, 0);
    return std::to_string(position) + "/" + std::to_string(max);
  }
  HWND combo = Control(win32ui::kComboBox);
  if (what == "combo-count") return std::to_string(SendMessageA(combo, CB_GETCOUNT, 0, 0));
  if (what == "combo-selected") return std::to_string(SendMessageA(combo, CB_GETCURSEL, 0, 0));
  if (what == "combo-text") return probe::Text(combo);
  if (what == "combo") return ItemText(combo, CB_GETLBTEXTLEN, CB_GETLBTEXT, index(1));
  HWND list = Control(win32ui::kFileListBox1);
  if (what == "files") return IsWindowVisible(list) ? "visible" : "hidden";
  if (what == "file-count") return std::to_string(SendMessageA(list, LB_GETCOUNT, 0, 0));
  if (what == "file") return ItemText(list, LB_GETTEXTLEN, LB_GETTEXT, index(1));
  return "(unknown: " + what + ")";
}

bool Driver::Start(const std::string& program) {
  if (process_) CloseHandle(process_);
  // As from a double click: no standard input to read, so the program shows
  // its window rather than reading commands.
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION started{};
  std::string commandLine = program;
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    return Fail("cannot start " + program + ": error " + std::to_string(GetLastError()));
  }
  CloseHandle(started.hThread);
  process_ = started.hProcess;
  processId_ = started.dwProcessId;
  box_ = nullptr;
  return true;
}

bool Driver::ExpectBox(const std::vector<std::string>& words) {
  if (words.size() < 4) return Fail("box KIND BUTTONS \"TEXT\"");
  const auto end = Clock::now() + kPatience;
  while (!(box_ = probe::FindBox(processId_)) && Clock::now() < end) {
    std::this_thread::sleep_for(kPollInterval);
  }
  if (!box_) return Fail("no message box appeared (status " + Shown(Read("status", {})) + ")");
  struct Kind {
    const char* name;
    const char* title;
    const char* icon;
  };
  static const Kind kinds[] = {{"plain", "Windows Flash utility", "none"},
                               {"warning", "Warning", "warning"},
                               {"error", "Error", "error"},
                               {"confirm", "Confirm", "question"}};
  const Kind* kind = nullptr;
  for (const Kind& k : kinds) {
    if (words[1] == k.name) kind = &k;
  }
  if (!kind) return Fail("unknown box kind " + words[1]);
  // The box may still be painting: its icon is read off the screen.
  std::string problem;
  do {
    const probe::Box box = probe::ReadBox(box_);
    // Boxes belong to the window once it is on the screen, and to nobody before.
    HWND form = Form();
    problem.clear();
    if (box.title != kind->title) problem += " title " + Shown(box.title);
    if (box.icon != kind->icon) problem += " icon " + box.icon;
    if (box.buttons != words[2]) problem += " buttons " + box.buttons;
    if (box.owner != form) {
      problem += form ? " not owned by the window" : " owned before the window shows";
    }
    if (box.text != words[3]) problem += " text " + Shown(box.text);
    if (problem.empty()) return true;
    std::this_thread::sleep_for(50ms);
  } while (Clock::now() < end);
  return Fail("box:" + problem);
}

bool Driver::Answer(const std::string& answer) {
  if (!box_) return Fail("no box to answer");
  const int id = answer == "yes" ? IDYES : answer == "no" ? IDNO : IDOK;
  PostMessageA(box_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box_, id)));
  const auto end = Clock::now() + kPatience;
  while (IsWindow(box_) && Clock::now() < end) std::this_thread::sleep_for(kPollInterval);
  if (IsWindow(box_)) return Fail("the box stayed open");
  box_ = nullptr;
  return true;
}

// A run's last status shows a moment before the window has taken the run's
// end; a user who closes the window in that moment is refused with the
// "in progress" box, answers it and closes again. So does this step.
bool Driver::CloseAfterRun(HWND form) {
  constexpr char kRefusal[] = "A flash is in progress!";
  const auto end = Clock::now() + kPatience;
  for (;;) {
    PostMessageA(form, WM_CLOSE, 0, 0);
    // Either the refusal comes at once, or the window is on its way out.
    const auto answerBy = Clock::now() + 2s;
    HWND box = nullptr;
    while (!(box = probe::FindBox(processId_)) && IsWindow(form) && Clock::now() < answerBy) {
      std::this_thread::sleep_for(kPollInterval);
    }
    if (!box) return true;
    if (probe::ReadBox(box).text.rfind(kRefusal, 0) != 0) {
      return Fail("closing showed a box: " + Shown(probe::ReadBox(box).text));
    }
    box_ = box;
    if (!Answer("ok")) return false;
    if (Clock::now() >= end) return Fail("the window still refused to close after its run");
    std::this_thread::sleep_for(100ms);
  }
}

bool Driver::Ping(HWND form) {
  DWORD_PTR result = 0;
  const auto start = Clock::now();
  const bool answered =
      SendMessageTimeoutA(form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerWithin, &result) != 0;
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  if (!answered) return Fail("the window did not answer within a second");
  std::printf("  answered in %lld ms\n", static_cast<long long>(took.count()));
  return true;
}

// The screenshot is taken outside Wine: the script's runner sees the
// request file, writes NAME.png and removes the request.
bool Driver::Snap(const std::string& name) {
  const std::string request = name + ".request";
  std::ofstream(request) << name << '\n';
  const auto end = Clock::now() + 30s;
  while (GetFileAttributesA(request.c_str()) != INVALID_FILE_ATTRIBUTES && Clock::now() < end) {
    std::this_thread::sleep_for(50ms);
  }
  if (GetFileAttributesA((name + ".png").c_str()) == INVALID_FILE_ATTRIBUTES) {
    return Fail("no screenshot " + name + ".png");
  }
  return true;
}

bool Driver::CheckLayout(unsigned dpi) {
  HWND form = Form();
  if (!form) return Fail("no window");
  RECT client{};
  GetClientRect(form, &client);
  std::string problem;
  if (client.right != win32ui::ScaleForDpi(win32ui::kClientWidth, dpi) ||
      client.bottom != win32ui::ScaleForDpi(win32ui::kClientHeight, dpi)) {
    problem += " client " + std::to_string(client.right) + "x" + std::to_string(client.bottom);
  }
  for (const win32ui::ControlPlace& place : win32ui::kControlPlaces) {
    HWND control = probe::Control(form, place.id);
    HWND parent = place.parent ? probe::Control(form, static_cast<ControlId>(place.parent)) : form;
    if (!control || GetParent(control) != parent) {
      problem += " control " + std::to_string(place.id) + " missing or misplaced";
      continue;
    }
    const RECT at = probe::PlaceInParent(control);
    const int wanted[] = {
        win32ui::ScaleForDpi(place.left, dpi), win32ui::ScaleForDpi(place.top, dpi),
        win32ui::ScaleForDpi(place.width, dpi), win32ui::ScaleForDpi(place.height, dpi)};
    const int seen[] = {at.left, at.top, at.right - at.left, at.bottom - at.top};
    for (int i = 0; i < 4; ++i) {
      if (wanted[i] != seen[i]) {
        problem += " control " + std::to_string(place.id) + " at " + std::to_string(seen[0]) + "," +
                   std::to_string(seen[1]) + " " + std::to_string(seen[2]) + "x" +
                   std::to_string(seen[3]);
        break;
      }
    }
  }
  return problem.empty() || Fail("layout at " + std::to_string(dpi) + " DPI:" + problem);
}

bool Driver::Step(const std::vector<std::string>& words) {
  const std::string& verb = words[0];
  auto arg = [&](std::size_t i) { return words.size() > i ? words[i] : std::string(); };
  if (verb == "start") return Start(arg(1));
  if (verb == "window")
    return WaitFor("window", "shown", [&] { return Form() ? "shown" : "none"; });
  if (verb == "box") return ExpectBox(words);
  if (verb == "answer") return Answer(arg(1));
  if (verb == "expect") {
    if (arg(1) == "layout") return CheckLayout(static_cast<unsigned>(std::stoul(arg(2))));
    std::vector<std::string> rest(words.begin() + 1, words.end());
    std::string wanted = rest.size() > 1 ? rest.back() : "";
    if (rest[0] == "combo" || rest[0] == "file") {
      wanted = arg(3);
    } else if (rest[0] == "button") {
      wanted = arg(2) + " " + arg(3);
    }
    return WaitFor(rest[0], wanted, [&] { return Read(rest[0], rest); });
  }
  HWND form = Form();
  if (verb == "select") {
    HWND combo = Control(win32ui::kComboBox);
    SendMessageA(combo, CB_SETCURSEL, std::stoul(arg(1)), 0);
    PostMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(win32ui::kComboBox, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    return true;
  }
  if (verb == "click") {
    HWND list = Control(win32ui::kFileListBox1);
    const auto index = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(arg(1).c_str()));
    if (index == LB_ERR) return Fail("no file " + Shown(arg(1)));
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(win32ui::kFileListBox1, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    return true;
  }
  if (verb == "press") {
    PostMessageA(Control(win32ui::kFlashButton), BM_CLICK, 0, 0);
    return true;
  }
  if (verb == "close") {
    PostMessageA(form, WM_CLOSE, 0, 0);
    return true;
  }
  if (verb == "close-after-run") return form ? CloseAfterRun(form) : Fail("no window");
  if (verb == "ping") return form ? Ping(form) : Fail("no window");
  if (verb == "ping-until") {
    // The window must keep answering, every ping within a second, until it shows this status.
    const auto end = Clock::now() + kPatience;
    do {
      if (!form || !Ping(form)) return form ? false : Fail("no window");
      if (Read("status", {}) == arg(2)) return true;
      std::this_thread::sleep_for(kPingInterval);
    } while (Clock::now() < end);
    return Fail("status never became " + Shown(arg(2)));
  }
  if (verb == "end-session") {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(form, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, kAnswerWithin,
                             &result)) {
      return Fail("the window did not answer the end-session query");
    }
    const std::string answer = result ? "allowed" : "refused";
    return answer == arg(1) || Fail("end of session " + answer);
  }
  if (verb == "power") {
    // "power query refused|allowed": a suspend request, as 95 to XP send it;
    // "power suspend": a suspend nobody may refuse, as Vista and later send it.
    constexpr WPARAM kQuerySuspend = 0x0000;
    constexpr WPARAM kSuspend = 0x0004;
    constexpr LRESULT kQueryDeny = 0x424D5144;
    DWORD_PTR result = 0;
    const WPARAM event = arg(1) == "suspend" ? kSuspend : kQuerySuspend;
    if (!SendMessageTimeoutA(form, WM_POWERBROADCAST, event, 0, SMTO_ABORTIFHUNG, kAnswerWithin,
                             &result)) {
      return Fail("the window did not answer the power broadcast");
    }
    if (event == kSuspend) return true;
    const std::string answer = static_cast<LRESULT>(result) == kQueryDeny ? "refused" : "allowed";
    return answer == arg(2) || Fail("suspend request " + answer);
  }
  if (verb == "exit") {
    if (WaitForSingleObject(process_, 60000) != WAIT_OBJECT_0)
      return Fail("the program is still running");
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return std::to_string(code) == arg(1) || Fail("exit code " + std::to_string(code));
  }
  if (verb == "snap") return Snap(arg(1));
  if (verb == "sleep") {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(arg(1))));
    return true;
  }
  return Fail("unknown step " + verb);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_driver SCRIPT\n");
    return 2;
  }
  std::ifstream script(argv[1]);
  if (!script) {
    std::fprintf(stderr, "%s: cannot read the script\n", argv[1]);
    return 2;
  }
  Driver driver;
  std::string line;
  for (int number = 1; std::getline(script, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> words = Words(line);
    if (words.empty() || words[0][0] == '#') continue;
    std::printf("%s:%d: %s\n", argv[1], number, line.c_str());
    std::fflush(stdout);
    if (!driver.Step(words)) {
      std::printf("FAIL %s:%d: %s\n", argv[1], number, driver.Problem().c_str());
      return 1;
    }
  }
  std::printf("PASS %s\n", argv[1]);
  return 0;
}
