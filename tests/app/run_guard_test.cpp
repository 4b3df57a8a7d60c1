// The hold on outside interruptions, seen from inside the program: a request
// to end that arrives during the flash reaches its handler only once the
// drive has been left alone, and the run then starts nothing new.
#include "app/run_guard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#include "flasher_fixture.h"

namespace {

volatile sig_atomic_t g_handled = 0;
extern "C" void CountSignal(int) { g_handled = g_handled + 1; }

// Installs a handler that returns, as a front-end's might, for the test.
class HandledSignal {
 public:
  explicit HandledSignal(int signal) : signal_(signal) {
    struct sigaction action {};
    action.sa_handler = CountSignal;
    sigemptyset(&action.sa_mask);
    sigaction(signal_, &action, &previous_);
    g_handled = 0;
  }
  ~HandledSignal() { sigaction(signal_, &previous_, nullptr); }

 private:
  int signal_;
  struct sigaction previous_ {};
};

TEST(RunGuard, ARequestToEndDuringTheFlashWaitsForItsEndAndNothingNewStarts) {
  const HandledSignal term(SIGTERM);
  sim::SimMachine machine;
  sim::SimDrive& drive = machine.AddDrive(FamilyDrive());
  sim::ScopedSimTransport path(machine);
  FormHarness h(false);
  MakeFlasher(*h.block, 2 * 16384, ImageFormat::Plain);
  bool sent = false;
  int handledInside = -1;
  h.duringSleep = [&] {
    if (!sent) raise(SIGTERM);
    sent = true;
    handledInside = g_handled;
  };

  // No answer to a restart question: the window is closed once the run ends.
  const auto lines = h.Run("yes\npress\nyes\n");

  EXPECT_EQ(handledInside, 0) << "the signal reached its handler inside the sequence";
  EXPECT_EQ(g_handled, 1);
  EXPECT_EQ(drive.FlashStarts(), 1u);
  EXPECT_EQ(Grep(lines, "status: ").back(), "Flash Completed.");
  EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find("needs to be restarted") != std::string::npos;
  })) << "the restart was offered";
  EXPECT_EQ(lines.back(), "quit");
  EXPECT_EQ(h.restarts, 0);
}

TEST(RunGuard, AnIgnoredSignalStaysIgnoredAndNestedGuardsHoldOnce) {
  struct sigaction previous {};
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGHUP, &ignore, &previous);
  const HandledSignal quit(SIGQUIT);
  {
    RunGuard outer;
    {
      RunGuard inner;
      raise(SIGHUP);  // as under nohup: no request at all
      raise(SIGQUIT);
      EXPECT_TRUE(inner.End()) << "only the outermost guard decides";
    }
    EXPECT_EQ(g_handled, 0);
    EXPECT_FALSE(outer.End());
    EXPECT_FALSE(outer.End()) << "the answer stays";
    EXPECT_EQ(g_handled, 1);
  }
  struct sigaction now {};
  sigaction(SIGHUP, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  sigaction(SIGHUP, &previous, nullptr);
}

}  // namespace
