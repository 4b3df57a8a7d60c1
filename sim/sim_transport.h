// The simulated machine seen through the device layer's transport seam, so
// that CDDrive, CDDrives and everything above them run against SimDrives.
//
//   sim::SimMachine machine;
//   machine.AddDrive({.host = 1});
//   sim::ScopedSimTransport path(machine);  // fresh module state, simulated path installed
//   CDDrives drives;                        // scans the machine
//
// Declare the machine and the ScopedSimTransport before any CDDrive or
// CDDrives, so that the drives are destroyed first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/transport.h"
#include "sim/sim_drive.h"

namespace sim {

// Error codes the simulated path reports, errno-like on every host.
inline constexpr std::uint32_t kSimErrorCallFailed = 5;  // EIO
inline constexpr std::uint32_t kSimErrorTimedOut = 110;  // ETIMEDOUT
inline constexpr std::uint32_t kSimErrorGone = 19;       // ENODEV
inline constexpr std::uint32_t kSimErrorBusy = 16;       // EBUSY

// SCSI status bytes the simulated path records.
inline constexpr std::uint8_t kSimStatusGood = 0x00;
inline constexpr std::uint8_t kSimStatusCheckCondition = 0x02;

class SimTransportPath : public TransportPath {
 public:
  explicit SimTransportPath(SimMachine& machine) : machine_(machine) {}

  PathSetup Setup() override;
  std::vector<DriveAddress> Candidates() override;
  PathOpen Open(const DriveAddress& address) override;
  std::optional<std::string> SystemErrorText(std::uint32_t errorCode) override;

 private:
  SimMachine& machine_;
};

// Resets the device module to its start state and installs a simulated path
// over `machine` for the scope's life; on exit it uninstalls it and resets again.
class ScopedSimTransport {
 public:
  explicit ScopedSimTransport(SimMachine& machine);
  ~ScopedSimTransport();
  ScopedSimTransport(const ScopedSimTransport&) = delete;
  ScopedSimTransport& operator=(const ScopedSimTransport&) = delete;

  SimTransportPath& Path() { return path_; }

 private:
  SimTransportPath path_;
};

}  // namespace sim
