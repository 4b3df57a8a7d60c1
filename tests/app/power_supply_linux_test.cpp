// The power-supply class as the kernel shows it, on directories of the test's own.
#include "app/power_supply_linux.h"

#include <gtest/gtest.h>

#include <map>

#include "support/temp_dir.h"

namespace {

using Attributes = std::map<std::string, std::string>;  // file name -> content
using Supplies = std::map<std::string, Attributes>;     // directory -> its files

TEST(PowerSupply, BatteryPowerIsNoMainsOnlineAndTheMachinesBatteryDischarging) {
  const Attributes acOnline = {{"type", "Mains\n"}, {"online", "1\n"}};
  const Attributes acOffline = {{"type", "Mains\n"}, {"online", "0\n"}};
  const Attributes discharging = {{"type", "Battery\n"}, {"status", "Discharging\n"}};
  const Attributes systemDischarging = {
      {"type", "Battery\n"}, {"status", "Discharging\n"}, {"scope", "System\n"}};
  const Attributes charging = {{"type", "Battery\n"}, {"status", "Charging\n"}};
  const Attributes notCharging = {{"type", "Battery\n"}, {"status", "Not charging\n"}};
  const Attributes upsDischarging = {{"type", "UPS\n"}, {"status", "Discharging\n"}};
  const Attributes upsCharging = {{"type", "UPS\n"}, {"status", "Charging\n"}};
  const Attributes mouse = {
      {"type", "Battery\n"}, {"status", "Discharging\n"}, {"scope", "Device\n"}};
  struct Case {
    const char* name;
    Supplies supplies;
    bool onBattery;
  };
  const Case cases[] = {
      {"a desktop without supplies", {}, false},
      {"laptop on its adapter", {{"AC", acOnline}, {"BAT0", charging}}, false},
      {"laptop unplugged", {{"AC", acOffline}, {"BAT0", discharging}}, true},
      {"no adapter entry at all", {{"BAT0", systemDischarging}}, true},
      {"second battery discharging",
       {{"AC", acOffline}, {"BAT0", notCharging}, {"BAT1", discharging}},
       true},
      {"adapter online, battery still reported discharging",
       {{"AC", acOnline}, {"BAT0", discharging}},
       false},
      {"adapter offline, battery not discharging",
       {{"AC", acOffline}, {"BAT0", notCharging}},
       false},
      {"only a wireless mouse's battery", {{"hidpp_battery_0", mouse}}, false},
      {"desktop on its UPS, mains failed", {{"AC", acOffline}, {"ups", upsDischarging}}, true},
      {"desktop on its UPS, no mains entry", {{"ups", upsDischarging}}, true},
      {"UPS charging from the mains", {{"AC", acOnline}, {"ups", upsCharging}}, false},
      {"UPS reported discharging, mains online",
       {{"AC", acOnline}, {"ups", upsDischarging}},
       false},
      {"unreadable attributes", {{"BAT0", {{"type", "Battery\n"}}}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir root;
    for (const auto& [name, attributes] : c.supplies) {
      std::filesystem::create_directory(root.path() / name);
      for (const auto& [file, content] : attributes) root.Write(name + "/" + file, content);
    }
    EXPECT_EQ(RunsOnBatteryUnder(root.path()), c.onBattery);
  }
  EXPECT_FALSE(RunsOnBatteryUnder("/nonexistent/power_supply"));
}

}  // namespace
