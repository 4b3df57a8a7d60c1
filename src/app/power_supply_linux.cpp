#include "app/power_supply_linux.h"

#include <fstream>
#include <string>
#include <system_error>

#include "app/power_supply.h"

namespace {

namespace fs = std::filesystem;

// The first line of one attribute file, "" when there is none.
std::string Attribute(const fs::path& supply, const char* name) {
  std::ifstream in(supply / name);
  std::string value;
  std::getline(in, value);
  return value;
}

}  // namespace

bool RunsOnBatteryUnder(const fs::path& root) {
  bool mainsOnline = false;
  bool batteryDischarging = false;
  std::error_code ec;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path supply = it->path();
    const std::string type = Attribute(supply, "type");
    if (type == "Mains") {
      mainsOnline = mainsOnline || Attribute(supply, "online") == "1";
    } else if ((type == "Battery" || type == "UPS") && Attribute(supply, "scope") != "Device") {
      // A UPS that is discharging carries the machine on its battery as a
      // laptop's does. A battery of the device scope powers a mouse or a
      // headset, not this machine.
      batteryDischarging = batteryDischarging || Attribute(supply, "status") == "Discharging";
    }
  }
  return !mainsOnline && batteryDischarging;
}

bool RunsOnBattery() { return RunsOnBatteryUnder(kPowerSupplyRoot); }
