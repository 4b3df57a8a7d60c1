// Signals, a vanishing reader and a closed standard output meet the shipped
// program while it flashes a simulated drive or builds a flasher: the run
// goes on to its end, and only then does the program end (or stop) as it
// was asked. The flash-start
// command is held in flight by a completes-late fault, so every signal is
// sent while the drive is programming its flash.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "app/sim_process_fixture.h"

namespace {

using namespace sim_process;

constexpr char kFlashInProgress[] = "status: Don't turn off the system, Flash is in progress...";
constexpr char kRestartQuestion[] =
    "| The system needs to be restarted for the changes to take effect ?";
constexpr int kSecondsToWait = 30;
// Long enough to send a signal while the command is in flight, short enough
// to keep the test quick.
constexpr char kLateFlashStart[] = "fault opcode 3B control 80 completes-late 2500\n";

// The program started in the test directory with pipes on its standard input
// and output, read as it writes; ended when the test is done with it.
class LiveRun {
 public:
  // `simulated`: through the preload over population.txt, with the
  // transcript in transcript.txt and restart requests in restarts.txt.
  LiveRun(const fs::path& dir, const std::string& program, bool simulated) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // A process group of its own, whose parent is in another group of the
      // session: a stop signal then stops it, as at a shell.
      setpgid(0, 0);
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      const int errors = open((dir / "errors.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(errors, STDERR_FILENO);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      for (int s = 1; s < NSIG; ++s) signal(s, SIG_DFL);
      const rlimit noCore{0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      if (chdir(dir.c_str()) != 0) _exit(127);
      const std::string self = "./" + program;
      if (simulated) {
        setenv("FLASH_SIM_PRELOAD", SIM_PRELOAD, 1);
        execl("/bin/bash", "bash", SIM_RUNNER, "--transcript", "transcript.txt", "--log",
              "restarts.txt", "population.txt", "--", self.c_str(), nullptr);
      } else {
        execl(self.c_str(), self.c_str(), nullptr);
      }
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~LiveRun() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    CloseInput();
    CloseOutput();
  }
  LiveRun(const LiveRun&) = delete;
  LiveRun& operator=(const LiveRun&) = delete;

  pid_t Pid() const { return pid_; }
  const std::string& Output() const { return output_; }

  void Send(const std::string& text) {
    ASSERT_EQ(write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void CloseInput() {
    if (in_ >= 0) close(in_);
    in_ = -1;
  }
  // The reader goes away: the program's next write finds no one.
  void CloseOutput() {
    if (out_ >= 0) close(out_);
    out_ = -1;
  }

  // Reads until `line` has been written whole; false if it is not within the time.
  bool WaitForLine(const std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kSecondsToWait);
    while (!HasLine(output_, line)) {
      if (std::chrono::steady_clock::now() > deadline || out_ < 0 || ended_) return false;
      ReadSome(100);
    }
    return true;
  }

  // The wait status once the program ends (or stops, with `stops`), reading
  // its output meanwhile; nothing if it does neither within the time.
  std::optional<int> Wait(bool stops = false) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kSecondsToWait);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG | (stops ? WUNTRACED : 0));
      if (done == pid_) {
        if (!WIFSTOPPED(status)) status_ = status;
        while (ReadSome(0)) {
        }
        return status;
      }
      if (!ReadSome(20)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
  }

  bool Running() {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    status_ = status;
    return false;
  }

 private:
  // True when it read something within the time.
  bool ReadSome(int milliseconds) {
    if (out_ < 0 || ended_) return false;
    pollfd ready{out_, POLLIN, 0};
    if (poll(&ready, 1, milliseconds) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) {
      ended_ = true;
      return false;
    }
    output_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  bool ended_ = false;  // the output reached its end
  std::string output_;
  std::optional<int> status_;
};

std::string FlashStartResults(const fs::path& dir) {
  std::string found;
  for (const std::string& line : Lines(ReadFileBytes(dir / "transcript.txt"), "sr0 ")) {
    if (line.starts_with(kFlashStart)) found += line + "\n";
  }
  return found;
}

class HeldSignals : public SimulatedDrives {
 protected:
  // Starts the flasher, accepts the warning and the update, and waits until
  // the flash-start command is under way.
  void StartFlashing(std::optional<LiveRun>& run) {
    const std::string flasher = BuildFlasher("SM01.bin", MakeImage(ImageFormat::Plain));
    dir.Write("population.txt",
              std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\n" + kLateFlashStart);
    fs::remove(dir.path() / "transcript.txt");
    run.emplace(dir.path(), flasher, true);
    run->Send("yes\npress\nyes\n");
    ASSERT_TRUE(run->WaitForLine(kFlashInProgress))
        << "each line reaches a script as it is written:\n"
        << run->Output();
    ASSERT_EQ(FlashStartResults(dir.path()), "") << "the flash-start command is still in flight";
  }
};

TEST_F(HeldSignals, ARequestToEndWaitsForTheFlashToEndAndSkipsTheRestart) {
  struct Case {
    const char* name;
    std::vector<int> signals;  // sent to the program, at once
    bool readerLeaves;         // the script reading its output goes away instead
  };
  const Case cases[] = {
      {"Ctrl-C", {SIGINT}, false},
      {"kill, shutdown", {SIGTERM}, false},
      {"terminal closed", {SIGHUP}, false},
      {"Ctrl-\\", {SIGQUIT}, false},
      {"SIGPIPE sent", {SIGPIPE}, false},
      {"the reader went away", {SIGPIPE}, true},
      {"a user signal", {SIGUSR1}, false},
      {"the last real-time signal", {SIGRTMAX}, false},
      {"every other signal that ends a program",
       {SIGABRT, SIGUSR2, SIGALRM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSTKFLT,
        SIGRTMIN, SIGRTMIN + 1},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<LiveRun> run;
    StartFlashing(run);
    if (HasFatalFailure()) return;
    if (c.readerLeaves) {
      run->CloseOutput();
    } else {
      for (const int s : c.signals) kill(run->Pid(), s);
    }
    const std::optional<int> status = run->Wait();
    ASSERT_TRUE(status) << "the program did not end after the flash";
    // With several held, whichever the system passes on first ends it.
    EXPECT_TRUE(WIFSIGNALED(*status) &&
                std::find(c.signals.begin(), c.signals.end(), WTERMSIG(*status)) != c.signals.end())
        << *status;
    const std::string flashStart = FlashStartResults(dir.path());
    EXPECT_EQ(Count(Lines(flashStart, ""), "-> 00 00 00 moved"), 1u)
        << "the drive was left to finish: " << flashStart;
    if (!c.readerLeaves) {
      EXPECT_TRUE(HasLine(run->Output(), "status: Flash Completed.")) << run->Output();
      EXPECT_TRUE(HasLine(run->Output(), "combo insert 0: 0-0-0  : ACME    DVD-ROM DVD-616 AB15"));
      EXPECT_FALSE(HasLine(run->Output(), kRestartQuestion)) << "nothing new is started";
    }
    EXPECT_EQ(ReadFileBytes(dir.path() / "restarts.txt"), "");
  }
}

TEST_F(HeldSignals, AStopWaitsForTheFlashToEndAndTheProgramGoesOnWhenContinued) {
  std::optional<LiveRun> run;
  StartFlashing(run);
  if (HasFatalFailure()) return;
  kill(run->Pid(), SIGTSTP);
  const std::optional<int> stopped = run->Wait(true);
  ASSERT_TRUE(stopped && WIFSTOPPED(*stopped)) << "the program never stopped";
  EXPECT_NE(FlashStartResults(dir.path()), "") << "it stopped only after the flash-start command";
  EXPECT_TRUE(HasLine(run->Output(), "status: Flash Completed.")) << run->Output();

  kill(run->Pid(), SIGCONT);
  run->Send("no\nclose\n");
  const std::optional<int> status = run->Wait();
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
  EXPECT_TRUE(HasLine(run->Output(), kRestartQuestion)) << "continued, the sequence goes on";
  EXPECT_TRUE(run->Output().ends_with("quit\n"));
}

TEST_F(SimulatedDrives, ABuildCannotBeInterruptedOnceStarted) {
  for (const int signal : {SIGTERM, SIGUSR1, SIGRTMIN}) {
    SCOPED_TRACE(strsignal(signal));
    // A flasher that may not be replaced makes the build stop at its failure
    // box, still inside the build.
    dir.Write("SM01.bin", MakeImage(ImageFormat::Plain));
    fs::remove(dir.path() / "SM01.EXE");
    dir.Write("SM01.EXE", "kept");
    fs::permissions(dir.path() / "SM01.EXE", fs::perms::owner_read | fs::perms::group_read);
    LiveRun run(dir.path(), "flash", false);
    run.Send("click SM01.bin\npress\n");
    ASSERT_TRUE(run.WaitForLine("| Create SM01.EXE Fail")) << run.Output();
    ASSERT_TRUE(run.WaitForLine("box end"));
    kill(run.Pid(), signal);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(run.Running()) << "the build was interrupted";
    run.CloseInput();  // nobody left to answer: the box counts as OK
    const std::optional<int> status = run.Wait();
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == signal) << *status;
    EXPECT_EQ(ReadFileBytes(dir.path() / "SM01.EXE"), "kept");
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      EXPECT_FALSE(entry.path().filename().string().starts_with("~"))
          << "left behind: " << entry.path();
    }
  }
}

TEST_F(SimulatedDrives, AClosedStandardOutputReceivesTheTextAndNoFileDoes) {
  // The program's standard output closed, as `>&-` at a shell leaves it.
  const std::string closedOutput = "sh -c 'exec \"$@\" >&-' sh";
  const std::string image = MakeImage(ImageFormat::Plain);
  const std::string flasher = BuildFlasher("SM01.bin", image);
  const std::string intact = ReadFileBytes(dir.path() / flasher);
  fs::remove(dir.path() / flasher);

  const RunResult build = Start("flash", "", "click SM01.bin\npress\nclose\n", false, closedOutput);
  EXPECT_EQ(build.exitCode, 0) << build.errors;
  EXPECT_TRUE(ReadFileBytes(dir.path() / flasher) == intact)
      << "the flasher written differs from one built with the output open";

  const RunResult flash =
      Start(flasher, std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\n",
            "yes\npress\nyes\nno\nclose\n", true, closedOutput);
  EXPECT_EQ(flash.exitCode, 0) << flash.errors;
  EXPECT_EQ(Count(Lines(flash.transcript, ""), "opened as standard descriptor"), 0u)
      << "the drive took the place of the console:\n"
      << flash.transcript;
  EXPECT_EQ(Count(Lines(FlashStartResults(dir.path()), ""), "-> 00 00 00 moved"), 1u)
      << flash.transcript;
}

TEST_F(SimulatedDrives, ASignalHandlerMayCallIntoThePreloadWhileItAnswers) {
  dir.Write("population.txt", std::string("drive 0:0:0:0\n") + kFamilyDrive + "revision AB10\n");
  fs::copy_file(REENTRY_PROBE, dir.path() / "probe");
  LiveRun run(dir.path(), "probe", true);
  run.CloseInput();
  const std::optional<int> status = run.Wait();
  ASSERT_TRUE(status) << "the probe deadlocked inside the preload";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
      << *status << " " << ReadFileBytes(dir.path() / "errors.txt");
}

}  // namespace
