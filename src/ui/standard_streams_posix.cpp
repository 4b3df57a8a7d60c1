#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "ui/standard_streams.h"

void OpenClosedStandardStreams() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is this one: the ones below are open.
    const int opened = open("/dev/null", O_RDWR);
    if (opened == fd) continue;
    // Nothing else could keep the descriptor from the next file opened:
    // the program does not start.
    constexpr char kWhy[] = "flash: cannot open /dev/null for a closed standard descriptor\n";
    const ssize_t written = write(STDERR_FILENO, kWhy, sizeof kWhy - 1);
    (void)written;
    _exit(127);
  }
}
