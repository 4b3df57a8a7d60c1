#include "sim/preload/fake_sysfs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace sim {

namespace fs = std::filesystem;

namespace {
constexpr char kMarkerName[] = ".flash-sim";
}  // namespace

std::string NodeName(std::size_t index) { return "sr" + std::to_string(index); }

std::string CreateFakeSysfs(SimMachine& machine, const std::string& tempDir, std::string& error) {
  std::string pattern = (fs::path(tempDir) / "flash-sim-sysfs-XXXXXX").string();
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
