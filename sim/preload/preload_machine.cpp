#include "sim/preload/preload_machine.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "sim/preload/sg_io_answer.h"

namespace sim {

namespace {

pid_t ThisThread() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

// Marks the calling thread as the lock's holder while it is held, so that a
// signal handler on that thread is refused instead of waiting for itself.
class HolderMark {
 public:
  explicit HolderMark(std::atomic<pid_t>& holder) : holder_(holder) { holder_ = ThisThread(); }
  ~HolderMark() { holder_ = 0; }
  HolderMark(const HolderMark&) = delete;
  HolderMark& operator=(const HolderMark&) = delete;

 private:
  std::atomic<pid_t>& holder_;
};

// Holds the calling thread until `milliseconds` have passed; a signal's
// handler runs meanwhile, but the wait goes on, as a drive's command does.
void HoldFor(std::uint32_t milliseconds) {
  constexpr long kNanosecondsPerMillisecond = 1000000;
  constexpr long kNanosecondsPerSecond = 1000000000;
  timespec until{};
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += static_cast<time_t>(milliseconds / 1000);
  until.tv_nsec += static_cast<long>(milliseconds % 1000) * kNanosecondsPerMillisecond;
  if (until.tv_nsec >= kNanosecondsPerSecond) {
    until.tv_sec += 1;
    until.tv_nsec -= kNanosecondsPerSecond;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace

void RefuseToStart(std::string_view library, const std::string& why) {
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(library.size()), library.data(), why.c_str());
  std::fflush(stderr);
  ::_exit(kPreloadSetupFailedExitCode);
}

bool PreloadMachine::Load(const char* populationFile, std::string& error) {
  return LoadPopulation(populationFile, machine_, error);
}

bool PreloadMachine::OpenTranscript(std::string& error) {
  const char* path = std::getenv("FLASH_SIM_TRANSCRIPT");
  if (path == nullptr || *path == '\0') return true;
  transcript_ = std::fopen(path, "ae");
  // Started with a standard descriptor closed, the program must find it
  // closed: the transcript takes none of them.
  if (transcript_ != nullptr && ::fileno(transcript_) <= STDERR_FILENO) {
    const int above = ::fcntl(::fileno(transcript_), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    std::fclose(transcript_);
    transcript_ = above >= 0 ? ::fdopen(above, "a") : nullptr;
  }
  if (transcript_ != nullptr) return true;
  error = std::string("cannot write the transcript file ") + path;
  return false;
}

void PreloadMachine::Note(const std::string& line) {
  const std::lock_guard guard(lock_);
  if (transcript_ == nullptr) return;
  std::fputs(line.c_str(), transcript_);
  std::fflush(transcript_);
}

void PreloadMachine::CloseTranscript() {
  const std::lock_guard guard(lock_);
  if (transcript_ != nullptr) std::fclose(transcript_);
  transcript_ = nullptr;
}

int PreloadMachine::Answer(std::size_t index, std::string_view who, void* header) {
  // A command from a signal handler that interrupted this thread's own
  // command would wait for itself forever; the drive is busy.
  if (lockHolder_.load() == ThisThread()) {
    errno = EBUSY;
    return -1;
  }
  std::uint32_t late = 0;
  std::string line;
  int error = 0;
  {
    const std::lock_guard guard(lock_);
    const HolderMark mark(lockHolder_);
    SimDrive& drive = machine_.Drive(index);
    error = AnswerSgIo(drive, *static_cast<sg_io_hdr_t*>(header), &late);
    if (transcript_ != nullptr && !drive.Transcript().empty()) {
      const TranscriptEntry& entry = drive.Transcript().back();
      line = std::string(who) + " " + entry.TextWithResult() + " moved " +
             std::to_string(entry.moved) + "\n";
    }
  }
  // The drive has run the command; its completion reaches the program late.
  // The transcript line is written when it does.
  if (late > 0) HoldFor(late);
  if (!line.empty()) {
    const std::lock_guard guard(lock_);
    const HolderMark mark(lockHolder_);
    if (transcript_ != nullptr) {
      std::fputs(line.c_str(), transcript_);
      std::fflush(transcript_);
    }
  }
  if (error != 0) {
    errno = error;
    return -1;
  }
  return 0;
}

}  // namespace sim
