#include <pthread.h>
#include <signal.h>

#include <array>
#include <csignal>

#include "app/run_guard.h"

namespace {

// The first kEndingCount request to end the program, the rest to stop it;
// the order is the one in which signals caught on another thread are passed
// on at the end.
constexpr std::array kHeld = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU};
constexpr std::size_t kHeldCount = kHeld.size();
constexpr std::size_t kEndingCount = 5;

// One hold for the process, however many guards nest.
int g_depth = 0;
sigset_t g_previousMask;
std::array<struct sigaction, kHeldCount> g_previousActions{};
std::array<bool, kHeldCount> g_managed{};
// Set by the recording handler: a held signal that reached a thread which
// does not block it.
volatile sig_atomic_t g_caught[kHeldCount] = {};

extern "C" void RecordHeldSignal(int signal) {
  for (std::size_t k = 0; k < kHeldCount; ++k) {
    if (kHeld[k] == signal) g_caught[k] = 1;
  }
}

void BeginHold() {
  sigset_t mask;
  sigemptyset(&mask);
  for (std::size_t k = 0; k < kHeldCount; ++k) {
    g_caught[k] = 0;
    sigaction(kHeld[k], nullptr, &g_previousActions[k]);
    // A signal the caller chose to ignore stays ignored, and is not held.
    g_managed[k] = g_previousActions[k].sa_handler != SIG_IGN;
    if (!g_managed[k]) continue;
    sigaddset(&mask, kHeld[k]);
    // The recording handler only runs on threads other than this one, which
    // blocks the signal; it keeps them from acting on it.
    struct sigaction record {};
    record.sa_handler = RecordHeldSignal;
    sigfillset(&record.sa_mask);
    record.sa_flags = SA_RESTART;
    sigaction(kHeld[k], &record, nullptr);
  }
  pthread_sigmask(SIG_BLOCK, &mask, &g_previousMask);
}

// True when no request to end the program was held.
bool EndHold() {
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  bool endRequested = false;
  for (std::size_t k = 0; k < kHeldCount; ++k) {
    if (!g_managed[k]) continue;
    const bool held = g_caught[k] != 0 || (sigismember(&pending, kHeld[k]) == 1 &&
                                           sigismember(&g_previousMask, kHeld[k]) == 0);
    if (held && k < kEndingCount) endRequested = true;
    sigaction(kHeld[k], &g_previousActions[k], nullptr);
  }
  // Pending signals are delivered here, to the dispositions from before.
  pthread_sigmask(SIG_SETMASK, &g_previousMask, nullptr);
  for (std::size_t k = 0; k < kHeldCount; ++k) {
    if (g_managed[k] && g_caught[k] != 0) {
      g_caught[k] = 0;
      raise(kHeld[k]);
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
