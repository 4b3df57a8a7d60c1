// Run under the preload library: sends INQUIRY to the simulated /dev/sr0 over
// and over while a fast interval timer's handler calls ioctl and close on
// other descriptors, as ncurses' SIGTSTP handler does when it resets the
// terminal. A library that is not safe for such a handler deadlocks here;
// the test around it gives up after a time-out. Exit code 0: every command
// went through and the handler ran during them.
#include <fcntl.h>
#include <scsi/sg.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr int kCommands = 20000;
constexpr suseconds_t kTimerMicroseconds = 20;
constexpr unsigned char kInquiryLength = 36;
constexpr unsigned kTimeOutMs = 60000;

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_handlerRuns = 0;

extern "C" void CallIntoTheLibrary(int) {
  int waiting = 0;
  ioctl(g_pipe[0], FIONREAD, &waiting);
  close(dup(g_pipe[0]));
  g_handlerRuns = g_handlerRuns + 1;
}

}  // namespace

int main() {
  const int fd = open("/dev/sr0", O_RDWR | O_NONBLOCK);
  if (fd < 0 || pipe(g_pipe) != 0) {
    std::perror("preload_reentry_probe: set-up");
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = CallIntoTheLibrary;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGALRM, &action, nullptr);
  itimerval timer{};
  timer.it_interval.tv_usec = kTimerMicroseconds;
  timer.it_value.tv_usec = kTimerMicroseconds;
  setitimer(ITIMER_REAL, &timer, nullptr);

  for (int k = 0; k < kCommands; ++k) {
    unsigned char cdb[6] = {0x12, 0, 0, 0, kInquiryLength, 0};
    unsigned char data[kInquiryLength] = {};
    unsigned char sense[32] = {};
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.dxfer_direction = SG_DXFER_FROM_DEV;
    header.cmd_len = sizeof cdb;
    header.cmdp = cdb;
    header.dxfer_len = sizeof data;
    header.dxferp = data;
    header.mx_sb_len = sizeof sense;
    header.sbp = sense;
    header.timeout = kTimeOutMs;
    if (ioctl(fd, SG_IO, &header) != 0) {
      std::perror("preload_reentry_probe: SG_IO");
      return 3;
    }
  }
  timer = {};
  setitimer(ITIMER_REAL, &timer, nullptr);
  std::printf("%d commands, the handler ran %d times\n", kCommands,
              static_cast<int>(g_handlerRuns));
  return g_handlerRuns > 0 ? 0 : 4;
}
