// Elsewhere than on Windows the model description file is read with our own
// reader, which answers the way the system's profile reader does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>

#include "catalogue/ini_file.h"
#include "catalogue/model_catalogue.h"

namespace {

// Far beyond any description file (a hundred full sections take some tens of
// kilobytes); a larger file is refused rather than loaded into memory.
constexpr std::uintmax_t kMaxFileBytes = 16U << 20U;
constexpr std::size_t kReadChunk = 4096;

// Closes the descriptor on every way out.
class OpenFile {
 public:
  explicit OpenFile(int descriptor) : descriptor_(descriptor) {}
  ~OpenFile() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

}  // namespace

bool IniFile::Load(const std::string& path, IniFile& out) {
  // Opened without waiting, then only a regular file is read: a FIFO would
  // block start-up until some writer came, a device might never end.
  const OpenFile file(open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) return false;
  struct stat status {};
  if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  if (static_cast<std::uintmax_t>(status.st_size) > kMaxFileBytes) return false;
  std::string text;
  std::array<char, kReadChunk> chunk{};
  while (text.size() <= kMaxFileBytes) {
    const ssize_t got = read(file.get(), chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    text.append(chunk.data(), static_cast<std::size_t>(got));
  }
  if (text.size() > kMaxFileBytes) return false;
  out = FromText(text);
  return true;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  return ReadParsed(section, key, fallback);
}

bool ModelFileExists(const std::string& path) {
  // A path that cannot be looked at counts as missing.
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}
