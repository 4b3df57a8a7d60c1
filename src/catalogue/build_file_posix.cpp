// The build's files through POSIX descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "catalogue/build_file.h"
#include "catalogue/path_text.h"

namespace build_file {

namespace {

constexpr int kTemporaryNameAttempts = 100;
constexpr mode_t kPermissionBits = 0777;  // set-id and sticky bits are never copied

FileIdentity IdentityOf(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
          true};
}

// Reads exactly `size` bytes, or fails.
bool ReadExactly(int fd, unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t got = read(fd, data, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

// A file-size limit must fail the write with EFBIG, not end the process with
// SIGXFSZ halfway through a build; whatever handled the signal before gets
// it back afterwards.
class SizeLimitSignalIgnored {
 public:
  SizeLimitSignalIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    saved_ = sigaction(SIGXFSZ, &ignore, &previous_) == 0;
  }
  ~SizeLimitSignalIgnored() {
    if (saved_) sigaction(SIGXFSZ, &previous_, nullptr);
  }
  SizeLimitSignalIgnored(const SizeLimitSignalIgnored&) = delete;
  SizeLimitSignalIgnored& operator=(const SizeLimitSignalIgnored&) = delete;

 private:
  struct sigaction previous_ {};
  bool saved_ = false;
};

std::string TemporaryName(const std::string& finalName) {
  // Unpredictable enough that a collision is rare; O_EXCL, not the name,
  // is what keeps another file from being used.
  static unsigned counter = 0;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return "~" + finalName + "." + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" +
         std::to_string(now.tv_nsec) + ".tmp";
}

}  // namespace

bool LoadFile(const std::string& path, std::uint64_t limit, LoadedFile& file) {
  // Non-blocking, so a FIFO under the name cannot stop the build; it is no
  // regular file and is refused anyway.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status {};
  bool ok = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  if (ok) {
    file.length = static_cast<std::uint64_t>(status.st_size);
    file.identity = IdentityOf(status);
    file.permissions = static_cast<unsigned>(status.st_mode & kPermissionBits);
    file.bytes.clear();
    if (file.length <= limit) {
      file.bytes.resize(static_cast<std::size_t>(file.length));
      ok = ReadExactly(fd, file.bytes.data(), file.bytes.size());
    }
  }
  close(fd);
  return ok;
}

ExistingOutput InspectOutput(const std::string& path) {
  ExistingOutput output;
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) output.state = OutputState::Absent;
    return output;
  }
  // Root may write any file, so one that grants nobody write permission
  // counts as read-only, the way Windows honours its read-only attribute.
  if (!S_ISREG(status.st_mode) || (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
      faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    return output;
  }
  output.state = OutputState::Replaceable;
  output.identity = IdentityOf(status);
  return output;
}

bool SameName(const std::string&, const std::string&) { return false; }

TemporaryFile::~TemporaryFile() {
  Close();
  if (!gone_) unlink(path_.c_str());
}

void TemporaryFile::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
}

bool TemporaryFile::Create(const std::string& directory, const std::string& finalName,
                           unsigned permissions) {
  directory_ = directory;
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    const std::string path = JoinPath(directory, TemporaryName(finalName));
    const int fd =
        open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    handle_ = fd;
    path_ = path;
    gone_ = false;
    struct stat status {};
    if (fstat(fd, &status) == 0) created_ = IdentityOf(status);
    // A flasher runs like the program that made it. The mode goes on the
    // descriptor: the name may already lead elsewhere.
    if (permissions != 0) fchmod(fd, static_cast<mode_t>(permissions & kPermissionBits));
    return true;
  }
  return false;
}

bool TemporaryFile::Write(const unsigned char* data, std::size_t size, std::string& reason) {
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  if (fd < 0) {
    reason = std::strerror(EBADF);
    return false;
  }
  int error = 0;
  {
    SizeLimitSignalIgnored sizeLimit;
    while (error == 0 && size > 0) {
      const ssize_t put = write(fd, data, size);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        error = put == 0 ? EIO : errno;
        break;
      }
      data += put;
      size -= static_cast<std::size_t>(put);
    }
  }
  // A power cut after "complete" must not leave a flasher that exists only
  // in the cache: the bytes reach the disk before the file gets its name.
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) reason = std::strerror(error);
  return error == 0;
}

MoveResult TemporaryFile::MoveTo(const std::string& finalPath) {
  Close();
  // Someone who may write the directory could have put another file under
  // the temporary name; that one must not become the flasher.
  struct stat status {};
  if (lstat(path_.c_str(), &status) != 0 || !SameFile(IdentityOf(status), created_)) {
    gone_ = true;  // whatever is there now is not ours to remove
    return MoveResult::Failed;
  }
  if (rename(path_.c_str(), finalPath.c_str()) != 0) return MoveResult::Failed;
  gone_ = true;
  // The new name itself reaches the disk too.
  const int dir =
      open(directory_.empty() ? "." : directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return MoveResult::Moved;
}

}  // namespace build_file
