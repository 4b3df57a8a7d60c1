#include "device/linux_sysfs_scan.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace {

constexpr std::string_view kOpticalPrefix = "sr";
constexpr char kAddressSeparator = ':';

template <typename Number>
bool TakeNumber(std::string_view& text, Number& value, bool last) {
  const std::size_t end = last ? text.size() : text.find(kAddressSeparator);
  if (end == 0 || end == std::string_view::npos) {
    return false;
  }
  const auto [stop, error] = std::from_chars(text.data(), text.data() + end, value);
  if (error != std::errc{} || stop != text.data() + end) {
    return false;
  }
  text.remove_prefix(last ? end : end + 1);
  return true;
}

bool IsOpticalName(std::string_view name) {
  return name.size() > kOpticalPrefix.size() && name.starts_with(kOpticalPrefix) &&
         std::all_of(name.begin() + kOpticalPrefix.size(), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<ScsiAddress> AddressOf(const std::filesystem::path& blockEntry) {
  std::error_code error;
  std::filesystem::directory_iterator entries(blockEntry / "device" / "scsi_device", error);
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    if (auto address = ParseScsiAddress(entries->path().filename().string())) {
      return address;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<ScsiAddress> ParseScsiAddress(std::string_view text) {
  ScsiAddress address;
  if (TakeNumber(text, address.host, false) && TakeNumber(text, address.channel, false) &&
      TakeNumber(text, address.target, false) && TakeNumber(text, address.lun, true)) {
    return address;
  }
  return std::nullopt;
}

std::vector<OpticalDriveNode> ScanOpticalDrives(const std::filesystem::path& sysRoot,
                                                const std::filesystem::path& devRoot) {
  std::vector<OpticalDriveNode> drives;
  std::error_code error;
  std::filesystem::directory_iterator entries(sysRoot / "class" / "block", error);
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    const std::string name = entries->path().filename().string();
    if (!IsOpticalName(name)) {
      continue;
    }
    if (auto address = AddressOf(entries->path())) {
      drives.push_back({*address, name, (devRoot / name).string()});
    }
  }
  std::sort(drives.begin(), drives.end(), [](const auto& a, const auto& b) {
    return a.address != b.address ? a.address < b.address : a.name < b.name;
  });
  return drives;
}
