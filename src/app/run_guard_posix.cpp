#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <vector>

#include "app/ending_signals_posix.h"
#include "app/run_guard.h"

namespace {

// Signal numbers index the per-signal state; every one is below NSIG.
constexpr int kSlots = NSIG;

// Requests to stop the program (SIGSTOP cannot be held).
constexpr int kStopping[] = {SIGTSTP, SIGTTIN, SIGTTOU};

// Requests to end the program are those sent to end it, and SIGABRT from
// another process (the program's own abort() is told apart when it comes).
// `order` is the one in which signals caught on another thread are passed on
// at the end: the ending ones first, then the stopping ones.
struct HeldSignals {
  std::vector<int> order;
  std::array<bool, kSlots> ends{};
};

const HeldSignals& Held() {
  static const HeldSignals held = [] {
    HeldSignals h;
    for (const int s : kSignalsSentToEnd) h.order.push_back(s);
    h.order.push_back(SIGABRT);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) h.order.push_back(s);
    for (const int s : h.order) h.ends[static_cast<std::size_t>(s)] = true;
    for (const int s : kStopping) h.order.push_back(s);
    return h;
  }();
  return held;
}

// One hold for the process, however many guards nest.
int g_depth = 0;
sigset_t g_previousMask;
std::array<struct sigaction, kSlots> g_previousActions{};
std::array<bool, kSlots> g_managed{};
// Set by the recording handler: a held signal that reached a thread which
// does not block it.
volatile sig_atomic_t g_caught[kSlots] = {};

extern "C" void RecordHeldSignal(int signal, siginfo_t* info, void* /*context*/) {
  if (signal <= 0 || signal >= kSlots) return;
  // abort() unblocks SIGABRT and raises it: the program's own fault, not a
  // request from outside. It takes its course through what handled it
  // before (a front-end gives the terminal back) once this handler returns.
  if (signal == SIGABRT && info != nullptr && info->si_code <= 0 && info->si_pid == getpid()) {
    sigaction(SIGABRT, &g_previousActions[SIGABRT], nullptr);
    raise(SIGABRT);
    return;
  }
  g_caught[signal] = 1;
}

void BeginHold() {
  sigset_t mask;
  sigemptyset(&mask);
  for (const int s : Held().order) {
    const auto k = static_cast<std::size_t>(s);
    g_caught[k] = 0;
    g_managed[k] = false;
    if (sigaction(s, nullptr, &g_previousActions[k]) != 0) continue;
    // A signal the caller chose to ignore stays ignored, and is not held.
    if (g_previousActions[k].sa_handler == SIG_IGN) continue;
    g_managed[k] = true;
    sigaddset(&mask, s);
    // The recording handler only runs on threads other than this one, which
    // blocks the signal; it keeps them from acting on it.
    struct sigaction record {};
    record.sa_sigaction = RecordHeldSignal;
    sigfillset(&record.sa_mask);
    record.sa_flags = SA_RESTART | SA_SIGINFO;
    sigaction(s, &record, nullptr);
  }
  pthread_sigmask(SIG_BLOCK, &mask, &g_previousMask);
}

// True when no request to end the program was held.
bool EndHold() {
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  bool endRequested = false;
  for (const int s : Held().order) {
    const auto k = static_cast<std::size_t>(s);
    if (!g_managed[k]) continue;
    const bool held =
        g_caught[k] != 0 || (sigismember(&pending, s) == 1 && sigismember(&g_previousMask, s) == 0);
    if (held && Held().ends[k]) endRequested = true;
    sigaction(s, &g_previousActions[k], nullptr);
  }
  // Pending signals are delivered here, to the dispositions from before.
  pthread_sigmask(SIG_SETMASK, &g_previousMask, nullptr);
  for (const int s : Held().order) {
    const auto k = static_cast<std::size_t>(s);
    if (g_managed[k] && g_caught[k] != 0) {
      g_caught[k] = 0;
      raise(s);
    }
  }
  return !endRequested;
}

}  // namespace

RunGuard::RunGuard() {
  if (g_depth++ == 0) BeginHold();
}

RunGuard::~RunGuard() { End(); }

bool RunGuard::End() {
  if (ended_) return mayGoOn_;
  ended_ = true;
  if (--g_depth == 0) mayGoOn_ = EndHold();
  return mayGoOn_;
}
