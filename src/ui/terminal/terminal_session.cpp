#include "ui/terminal/terminal_session.h"

#include <curses.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ending_signals_posix.h"
#include "ui/terminal/escape_sequence.h"
#include "ui/terminal/terminal_description.h"

namespace {

// How long a lone Escape waits for the rest of a key sequence: long enough
// for a sequence split by a slow remote link, short enough not to be felt.
constexpr int kEscapeDelayMs = 100;
// How often the idle loop looks at size changes and a vanished terminal.
constexpr int kIdlePollMs = 250;
// Consecutive "readable but nothing read" before input counts as ended.
constexpr int kFailedReadsForEnd = 3;
// The code our own Alt-Down sequences are given.
constexpr int kAltDownKey = KEY_MAX + 1;

// Every signal whose default action ends the program gives the terminal back
// first: those sent to end it (kSignalsSentToEnd; the real-time ones too,
// below) ...
// ... and those a fault raises, which may come again inside the handler.
constexpr int kCrashSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};

// What a signal handler needs to give the terminal back without curses:
// the escape sequences that leave the window's screen modes, written with
// write(2), and the terminal settings from before, set with tcsetattr(3).
// Both are safe inside a signal handler; endwin() is not.
char g_restore[512];
std::size_t g_restoreLength = 0;
termios g_savedSettings{};
volatile sig_atomic_t g_haveSettings = 0;
volatile sig_atomic_t g_active = 0;
volatile sig_atomic_t g_resizePending = 0;
volatile sig_atomic_t g_stopPending = 0;

// What each signal did before the window took it over, by signal number.
struct sigaction g_previous[NSIG];

void AppendRestore(const char* sequence) {
  if (sequence == nullptr) return;
  const std::size_t length = std::strlen(sequence);
  if (g_restoreLength + length > sizeof(g_restore)) return;
  std::copy(sequence, sequence + length, g_restore + g_restoreLength);
  g_restoreLength += length;
}

void RestoreFromSignal() {
  if (!g_active) return;
  g_active = 0;
  if (g_restoreLength > 0) {
    const ssize_t written = write(STDOUT_FILENO, g_restore, g_restoreLength);
    (void)written;  // nothing more can be done about a terminal that is gone
  }
  if (g_haveSettings) tcsetattr(STDIN_FILENO, TCSANOW, &g_savedSettings);
}

extern "C" void OnEndingSignal(int signal) {
  RestoreFromSignal();
  // The handler was installed with SA_RESETHAND: the default action follows.
  raise(signal);
}

extern "C" void OnResize(int) { g_resizePending = 1; }

extern "C" void OnStopRequest(int) { g_stopPending = 1; }

void Install(int signal, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  struct sigaction& previous = g_previous[signal];
  sigaction(signal, &action, &previous);
  // A signal the caller chose to ignore (nohup) stays ignored.
  if (previous.sa_handler == SIG_IGN) sigaction(signal, &previous, nullptr);
}

void InstallHandlers() {
  for (const int s : kSignalsSentToEnd) Install(s, OnEndingSignal, SA_RESETHAND);
  for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) Install(s, OnEndingSignal, SA_RESETHAND);
  for (const int s : kCrashSignals) Install(s, OnEndingSignal, SA_RESETHAND | SA_NODEFER);
  // Installed before curses starts, so curses keeps its own away; no
  // SA_RESTART, so a waiting read wakes up at once. Curses' own stop
  // handler would also set SIGTSTP to be ignored for a moment inside every
  // screen update, which throws away a stop held while a flash runs.
  Install(SIGWINCH, OnResize, 0);
  Install(SIGTSTP, OnStopRequest, 0);
}

void RemoveHandlers() {
  for (const int s : kSignalsSentToEnd) sigaction(s, &g_previous[s], nullptr);
  for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) sigaction(s, &g_previous[s], nullptr);
  for (const int s : kCrashSignals) sigaction(s, &g_previous[s], nullptr);
  sigaction(SIGWINCH, &g_previous[SIGWINCH], nullptr);
  sigaction(SIGTSTP, &g_previous[SIGTSTP], nullptr);
}

// While a flash holds the stop signals, a stop waits for it to end.
bool StopSignalHeld() {
  sigset_t blocked;
  sigemptyset(&blocked);
  pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
  return sigismember(&blocked, SIGTSTP) == 1;
}

// The key codes Alt-Down arrives as: the terminal description's own, where
// it has one, and ours for the sequences it lacks. xterm and its kin send
// ESC [ 1 ; 3 B; rxvt and the Linux console send Escape before Down.
std::vector<int> DefineAltDown() {
  std::vector<int> codes{kAltDownKey};
  const char* sequences[] = {TerminalCapability("kDN3"), "\033[1;3B", "\033\033[B", "\033\033OB"};
  for (const char* s : sequences) {
    if (s == nullptr) continue;
    const int code = key_defined(s);
    if (code > 0) {
      codes.push_back(code);
    } else {
      define_key(s, kAltDownKey);
    }
  }
  return codes;
}

// Reads and drops the rest of an escape sequence whose first byte after
// Escape is `next`; a byte that turns out to be no part of it is given back.
// The bytes of one sequence come in one burst, so a pause ends it.
void DropEscapeTail(int next) {
  EscapeTail tail;
  timeout(kEscapeDelayMs);
  for (int byte = next; byte != ERR; byte = getch()) {
    const EscapeTail::Step step = tail.Feed(byte);
    if (step == EscapeTail::Step::Done) return;
    if (step == EscapeTail::Step::NotPart) {
      ungetch(byte);
      return;
    }
  }
}

}  // namespace

std::unique_ptr<TerminalSession> TerminalSession::Open() {
  // The terminal's character set, so that curses draws lines the way this
  // terminal shows them (UTF-8 lines where ACS switching is ignored, as on
  // the Linux console), and text in a UTF-8 locale as UTF-8 (cell_text.h
  // decides what is shown). Only the character type changes.
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  std::string previousLocale = previous != nullptr ? previous : "C";
  std::setlocale(LC_CTYPE, "");
  termios settings{};
  const bool haveSettings = tcgetattr(STDIN_FILENO, &settings) == 0;
  InstallHandlers();
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen == nullptr) {
    RemoveHandlers();
    std::setlocale(LC_CTYPE, previousLocale.c_str());
    return nullptr;
  }
  set_term(screen);
  g_savedSettings = settings;
  g_haveSettings = haveSettings ? 1 : 0;
  g_restoreLength = 0;
  AppendRestore(TerminalCapability("sgr0"));
  AppendRestore(TerminalCapability("cnorm"));
  AppendRestore(TerminalCapability("rmkx"));
  AppendRestore(TerminalCapability("rmcup"));

  std::unique_ptr<TerminalSession> session(new TerminalSession());
  session->previousLocale_ = previousLocale;
  // Raw, not cbreak: Ctrl-C and Ctrl-Z must not stop a flash half way, and
  // Ctrl-Q must reach the window rather than the terminal's flow control.
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  set_escdelay(kEscapeDelayMs);
  session->altDownCodes_ = DefineAltDown();
  if (mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED, nullptr) != 0) {
    mouseinterval(0);
    // Mouse reporting off, in the xterm protocols curses may have chosen.
    AppendRestore("\033[?1000l\033[?1002l\033[?1006l");
  }
  session->palette_ = MakePalette();
  g_active = 1;
  return session;
}

TerminalSession::~TerminalSession() {
  g_active = 0;
  // Without a screen of its own to leave (the Linux console), the window
  // would stay under the shell's next prompt.
  if (TerminalCapability("rmcup") == nullptr) {
    erase();
    refresh();
  }
  mousemask(0, nullptr);
  curs_set(1);
  endwin();
  RemoveHandlers();
  if (g_haveSettings) tcsetattr(STDIN_FILENO, TCSANOW, &g_savedSettings);
  std::fflush(stdout);
  std::setlocale(LC_CTYPE, previousLocale_.c_str());
}

int TerminalSession::Rows() const { return LINES; }
int TerminalSession::Columns() const { return COLS; }

bool TerminalSession::ApplyResize() {
  if (!g_resizePending) return false;
  g_resizePending = 0;
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) {
    return false;
  }
  resize_term(size.ws_row, size.ws_col);
  clearok(curscr, TRUE);
  return true;
}

void TerminalSession::DiscardTypeAhead() { flushinp(); }

bool TerminalSession::StopIfRequested() {
  if (!g_stopPending || StopSignalHeld()) return false;
  g_stopPending = 0;
  // The shell gets its terminal back while the program is stopped ...
  g_active = 0;
  endwin();
  std::fflush(stdout);
  struct sigaction stop {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  struct sigaction ours {};
  sigaction(SIGTSTP, &stop, &ours);
  raise(SIGTSTP);
  // ... and once continued, the window is drawn afresh.
  sigaction(SIGTSTP, &ours, nullptr);
  clearok(curscr, TRUE);
  refresh();
  g_active = 1;
  return true;
}

bool TerminalSession::InputGone() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, 0) < 0) return false;
  if ((input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
  // Readable, yet curses read nothing: the read hit the end.
  if ((input.revents & POLLIN) != 0) return ++failedReads_ >= kFailedReadsForEnd;
  failedReads_ = 0;
  return false;
}

Key TerminalSession::ReadKey() {
  while (true) {
    if (g_resizePending || StopIfRequested()) return {KeyName::Resize};
    timeout(kIdlePollMs);
    const int ch = getch();
    if (ch == ERR) {
      if (InputGone()) return {KeyName::EndOfInput};
      continue;
    }
    failedReads_ = 0;
    const Key key = Translate(ch);
    if (!key.Is(KeyName::None)) return key;
  }
}

Key TerminalSession::Translate(int ch) {
  constexpr int kCtrlQ = 0x11;
  constexpr int kEscape = 0x1b;
  constexpr int kDel = 0x7f;
  constexpr int kCtrlH = 0x08;
  switch (ch) {
    case '\t':
      return {KeyName::Tab};
    case KEY_BTAB:
      return {KeyName::BackTab};
    case KEY_UP:
      return {KeyName::Up};
    case KEY_DOWN:
      return {KeyName::Down};
    case KEY_LEFT:
      return {KeyName::Left};
    case KEY_RIGHT:
      return {KeyName::Right};
    case KEY_HOME:
    case KEY_FIND:
      return {KeyName::Home};
    case KEY_END:
    case KEY_SELECT:
      return {KeyName::End};
    case KEY_PPAGE:
      return {KeyName::PageUp};
    case KEY_NPAGE:
      return {KeyName::PageDown};
    case '\r':
    case '\n':
    case KEY_ENTER:
      return {KeyName::Enter};
    case KEY_BACKSPACE:
    case kDel:
    case kCtrlH:
      return {KeyName::Backspace};
    case KEY_DC:
      return {KeyName::Delete};
    case KEY_F(4):
      return {KeyName::F4};
    case KEY_F(10):
      return {KeyName::F10};
    case kCtrlQ:
      return {KeyName::CtrlQ};
    case KEY_RESIZE:
      return {KeyName::Resize};
    case KEY_MOUSE: {
      MEVENT event{};
      if (getmouse(&event) != OK || (event.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) == 0) {
        return {};
      }
      return {KeyName::Click, 0, event.y, event.x};
    }
    case kEscape: {
      // Escape, or Alt with a key on a terminal that sends Escape first, or
      // a sequence the description does not know.
      timeout(0);
      const int next = getch();
      if (next == ERR) return {KeyName::Escape};
      if (next == KEY_DOWN) return {KeyName::AltDown};
      DropEscapeTail(next);
      return {};
    }
    default:
      break;
  }
  if (std::find(altDownCodes_.begin(), altDownCodes_.end(), ch) != altDownCodes_.end()) {
    return {KeyName::AltDown};
  }
  if (ch >= 0x20 && ch < kDel) return {KeyName::Text, static_cast<char>(ch)};
  return {};
}
