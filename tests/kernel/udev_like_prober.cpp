// Another program at the drive, for the real-kernel test: it opens and probes
// an optical drive's node over and over the way udev's cdrom_id does on every
// change event, honouring the node's flock as systemd-udevd does (a shared
// lock taken without waiting; a busy lock skips the probe), and tries the
// node's SCSI generic sibling as an sg tool would.
//
// Usage: udev_like_prober /dev/srN
// Runs until SIGTERM or SIGINT, then prints one line of counts:
//   prober opens N lock-busy N probes N sg-busy N sg-probes N
// Prints "prober first probe" once the drive has answered a probe, so a test
// can wait for proof that the prober reaches the drive at all.
#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr unsigned kPauseMs = 50;
constexpr unsigned kCommandTimeOutMs = 5000;

volatile std::sig_atomic_t stopping = 0;

void Stop(int) { stopping = 1; }

// The identification and media questions cdrom_id asks.
bool Probe(int fd) {
  struct Question {
    std::uint8_t cdb[12];
    std::uint8_t length;
  };
  static constexpr Question kQuestions[] = {
      {{0x12, 0, 0, 0, 36, 0}, 36},              // INQUIRY
      {{0x46, 0, 0, 0, 0, 0, 0, 0, 8, 0}, 8},    // GET CONFIGURATION
      {{0x43, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12},  // READ TOC
      {{0x51, 0, 0, 0, 0, 0, 0, 0, 32, 0}, 32},  // READ DISC INFORMATION
  };
  bool answered = false;
  for (const Question& q : kQuestions) {
    std::uint8_t data[64] = {};
    std::uint8_t sense[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = SG_DXFER_FROM_DEV;
    io.cmd_len = q.cdb[0] < 0x20 ? 6 : 10;
    io.cmdp = const_cast<std::uint8_t*>(q.cdb);
    io.dxferp = data;
    io.dxfer_len = q.length;
    io.sbp = sense;
    io.mx_sb_len = sizeof sense;
    io.timeout = kCommandTimeOutMs;
    if (::ioctl(fd, SG_IO, &io) == 0) answered = true;
  }
  return answered;
}

std::string SgSibling(const std::string& node) {
  const std::string name = node.substr(node.rfind('/') + 1);
  const std::string dir = "/sys/class/block/" + name + "/device/scsi_generic";
  std::string sg;
  if (DIR* list = ::opendir(dir.c_str())) {
    while (const dirent* entry = ::readdir(list)) {
      if (entry->d_name[0] != '.') sg = entry->d_name;
    }
    ::closedir(list);
  }
  return sg.empty() ? "" : "/dev/" + sg;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: udev_like_prober /dev/srN\n");
    return 2;
  }
  const std::string node = argv[1];
  const std::string sg = SgSibling(node);
  std::signal(SIGTERM, Stop);
  std::signal(SIGINT, Stop);
  unsigned opens = 0, lockBusy = 0, probes = 0, sgBusy = 0, sgProbes = 0;
  bool announced = false;
  while (!stopping) {
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      ++opens;
      if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ++lockBusy;
      } else {
        if (Probe(fd)) {
          ++probes;
          if (!announced) {
            std::printf("prober first probe\n");
            std::fflush(stdout);
            announced = true;
          }
        }
        ::flock(fd, LOCK_UN);
      }
      ::close(fd);
    }
    if (!sg.empty()) {
      const int sgFd = ::open(sg.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
      if (sgFd < 0) {
        if (errno == EBUSY) ++sgBusy;
      } else {
        if (Probe(sgFd)) ++sgProbes;
        ::close(sgFd);
      }
    }
    ::usleep(kPauseMs * 1000);
  }
  std::printf("prober opens %u lock-busy %u probes %u sg-busy %u sg-probes %u\n", opens, lockBusy,
              probes, sgBusy, sgProbes);
  return 0;
}
