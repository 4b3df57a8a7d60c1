#include "sim/preload/fake_sysfs.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace sim {

namespace fs = std::filesystem;

namespace {

constexpr char kMarkerName[] = ".flash-sim";
const std::string kTreePrefix = "flash-sim-sysfs-";

// A program killed by a signal never removes its tree; the tree names its
// process, so the next run clears the trees of processes that are gone.
void RemoveAbandonedTrees(const std::string& tempDir) {
  std::error_code ec;
  for (fs::directory_iterator it(tempDir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(kTreePrefix)) continue;
    const std::string rest = name.substr(kTreePrefix.size());
    const std::size_t dash = rest.find('-');
    pid_t pid = 0;
    const auto [end_, failure] = std::from_chars(rest.data(), rest.data() + dash, pid);
    if (dash == std::string::npos || failure != std::errc{} || end_ != rest.data() + dash ||
        pid <= 0) {
      continue;
    }
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
      std::error_code ignored;
      fs::remove_all(it->path(), ignored);
    }
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
      (fs::path(tempDir) / (kTreePrefix + std::to_string(::getpid()) + "-XXXXXX")).string();
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
  std::ofstream(root / "sys" / "class" / "block" / kMarkerName) << "simulated\n";
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
