// Finding the optical drives that Linux lists in sysfs, and their SCSI addresses.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ScsiAddress {
  std::uint32_t host = 0;
  std::uint32_t channel = 0;
  std::uint32_t target = 0;
  std::uint64_t lun = 0;
  // The check misreads the comparison category of a defaulted <=>.
  auto operator<=>(const ScsiAddress&) const = default;  // NOLINT(modernize-use-nullptr)
};

struct OpticalDriveNode {
  ScsiAddress address;
  std::string name;        // "sr0"
  std::string devicePath;  // "/dev/sr0"
};

// "H:C:T:L" as the scsi_device entry names it.
std::optional<ScsiAddress> ParseScsiAddress(std::string_view text);

// The sr devices under <sysRoot>/class/block with a readable SCSI address,
// ordered by that address; device paths are <devRoot>/<name>.
std::vector<OpticalDriveNode> ScanOpticalDrives(const std::filesystem::path& sysRoot,
                                                const std::filesystem::path& devRoot);
