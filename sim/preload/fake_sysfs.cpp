#include "sim/preload/fake_sysfs.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <vector>

namespace sim {

namespace fs = std::filesystem;

namespace {

// Constant-initialised: the preload builds its tree from its constructor,
// which may run before this file's dynamic initialisers.
constexpr char kMarkerName[] = ".flash-sim";
constexpr char kMarkerText[] = "simulated\n";
constexpr std::string_view kTreePrefix = "flash-sim-sysfs-";
constexpr std::size_t kUniqueSuffix = 6;  // mkdtemp's XXXXXX

std::filesystem::path MarkerPath(const fs::path& root) {
  return root / "sys" / "class" / "block" / kMarkerName;
}

// The process that made the tree named `name` ("flash-sim-sysfs-PID-XXXXXX"),
// or 0 when the name is not of that form.
pid_t TreeOwner(std::string_view name) {
  if (!name.starts_with(kTreePrefix)) return 0;
  name.remove_prefix(kTreePrefix.size());
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || name.size() - dash - 1 != kUniqueSuffix) return 0;
  pid_t pid = 0;
  const auto [end, failure] = std::from_chars(name.data(), name.data() + dash, pid);
  return failure == std::errc{} && end == name.data() + dash && pid > 0 ? pid : 0;
}

// Only what a run of this library made is ever removed: a directory (not a
// link to one) of the user's own, named as this library names its trees,
// that holds the library's marker file with its text.
bool MadeByThisLibrary(const fs::directory_entry& entry) {
  struct stat status {};
  if (::lstat(entry.path().c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
      status.st_uid != ::geteuid()) {
    return false;
  }
  std::ifstream marker(MarkerPath(entry.path()));
  std::string text((std::istreambuf_iterator<char>(marker)), std::istreambuf_iterator<char>());
  return text == kMarkerText;
}

// A program killed by a signal never removes its tree; the tree names its
// process, so the next run clears the trees of processes that are gone.
void RemoveAbandonedTrees(const std::string& tempDir) {
  std::error_code ec;
  for (fs::directory_iterator it(tempDir, ec), end; !ec && it != end; it.increment(ec)) {
    const pid_t pid = TreeOwner(it->path().filename().string());
    if (pid == 0 || !(::kill(pid, 0) != 0 && errno == ESRCH) || !MadeByThisLibrary(*it)) continue;
    std::error_code ignored;
    fs::remove_all(it->path(), ignored);
  }
}

}  // namespace

std::string NodeName(std::size_t index) { return "sr" + std::to_string(index); }
std::string SgNodeName(std::size_t index) { return "sg" + std::to_string(index); }

void RemoveFakeBlockEntry(const std::string& root, std::size_t index) {
  std::error_code ignored;
  fs::remove_all(fs::path(root) / "sys" / "class" / "block" / NodeName(index), ignored);
}

std::string CreateFakeSysfs(SimMachine& machine, const std::string& tempDir, std::string& error) {
  RemoveAbandonedTrees(tempDir);
  std::string pattern =
      (fs::path(tempDir) / (std::string(kTreePrefix) + std::to_string(::getpid()) + "-XXXXXX"))
          .string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) {
    error = "cannot create a directory for the simulated sysfs tree in " + tempDir;
    return {};
  }
  const fs::path root(name.data());
  std::error_code ec;
  fs::create_directories(root / "sys" / "class" / "block", ec);
  // Lets a wrapper check that the preload is in place before it runs anything;
  // the program's scan passes over it, as it is no srN entry.
  std::ofstream(MarkerPath(root)) << kMarkerText;
  for (std::size_t i = 0; !ec && i < machine.DriveCount(); ++i) {
    const DriveConfig& c = machine.Drive(i).Config();
    const fs::path device = root / "sys" / "class" / "block" / NodeName(i) / "device";
    const std::string address = std::to_string(c.host) + ":" + std::to_string(c.channel) + ":" +
                                std::to_string(c.target) + ":" + std::to_string(c.lun);
    fs::create_directories(device / "scsi_device" / address, ec);
    std::ofstream(device / "vendor") << c.vendor << '\n';
    std::ofstream(device / "model") << c.product << '\n';
    std::ofstream(device / "rev") << c.revision << '\n';
    fs::create_directories(device / "scsi_generic" / SgNodeName(i), ec);
    const fs::path queue = device.parent_path() / "queue";
    fs::create_directories(queue, ec);
    std::ofstream(queue / "max_hw_sectors_kb") << c.maxSectorsKb << '\n';
    std::ofstream(queue / "max_sectors_kb") << c.maxSectorsKb << '\n';
  }
  if (ec) {
    error = "cannot build the simulated sysfs tree in " + root.string() + ": " + ec.message();
    RemoveFakeSysfs(root.string());
    return {};
  }
  return root.string();
}

void RemoveFakeSysfs(const std::string& root) {
  if (root.empty()) return;
  std::error_code ec;
  fs::remove_all(root, ec);
}

}  // namespace sim
