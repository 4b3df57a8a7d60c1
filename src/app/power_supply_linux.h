// The Linux power-supply class read from any root, so tests can give their own.
#pragma once

#include <filesystem>

inline constexpr char kPowerSupplyRoot[] = "/sys/class/power_supply";

// RunsOnBattery over the supplies below `root` (one directory each, with the
// kernel's `type`, `online`, `status` and `scope` attribute files).
bool RunsOnBatteryUnder(const std::filesystem::path& root);
