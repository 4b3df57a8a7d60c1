// The seam between CDDrive and the operating system: one transport path per
// run (Linux SG_IO, NT pass-through, ASPI, or the simulated path in tests).
// A path only moves commands and reports raw outcomes; every message box,
// flag and counter of the module stays in CDDrive.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/drive_command.h"

// Where a candidate drive sits. Paths without drive letters use ' '.
struct DriveAddress {
  char letter = ' ';
  std::uint8_t hostAdapter = 0;
  std::uint8_t target = 0;
  std::uint8_t lun = 0;
  // The device the scan found, on paths whose numbers above do not tell
  // drives apart (Linux: the node, since the SCSI channel is not among them).
  // Opening uses it as it is; empty on paths that open by letter or numbers.
  std::string node{};
  friend bool operator==(const DriveAddress&, const DriveAddress&) = default;
};

// The outcome of taking a drive for this program alone.
struct ExclusiveClaim {
  std::uint32_t errorCode = 0;  // 0 when held, else the OS error
  bool inUse = false;           // someone else holds it: a mounted disc, another program
  // What the user must do about another failure (missing privileges). Often empty.
  std::string notice{};
  // How the user frees a drive that is in use, where the system's way is not
  // unmounting its disc (Windows has no umount).
  const char* inUseAdvice = nullptr;
};

// An open device. Destroying it closes the device.
class DeviceHandle {
 public:
  virtual ~DeviceHandle() = default;

  // Runs one command with `data` as its buffer (at least command.length bytes)
  // and fills every field of `result`: sense key byte, ASC, ASCQ, status, call
  // succeeded and error code (0 unless the call failed).
  virtual void Execute(const DriveCommand& command, std::uint8_t* data,
                       std::uint16_t timeOutSeconds, CommandResult& result) = 0;

  // A text the user must see after this failed command even while error
  // pop-ups are off, because the numbers alone would not explain it (missing
  // privileges). Empty when there is nothing to add.
  virtual std::string FailureNotice(const CommandResult& /*result*/) const { return {}; }

  // Takes the device for this program alone, so that nobody can mount a disc
  // in it or claim it otherwise while commands that must not be disturbed
  // run; the commands then go through the exclusive open. The default, for
  // paths that keep their share mode, holds nothing and succeeds.
  virtual ExclusiveClaim HoldExclusive() { return {}; }
  // Gives the claim back; commands go through the shared open again.
  virtual void ReleaseExclusive() {}

  // What keeps this program from sending firmware commands to the device
  // (missing privileges), told before anything is sent; empty when nothing.
  virtual std::string MissingPrivilege() const { return {}; }
  // The most bytes one command can move to or from the device over its
  // connection; nullopt when the system does not say.
  virtual std::optional<std::uint32_t> MaxTransferBytes() const { return std::nullopt; }
  // The device has been taken away from the system (unplugged): commands no
  // longer reach anything.
  virtual bool Gone() const { return false; }
};

// Outcome of the module set-up that each construction runs while no drive is open.
struct PathSetup {
  bool ready = true;
  std::uint8_t failureStatus = 0;  // the construction status when not ready
  std::string errorMessage{};      // shown in an error box when not empty
};

struct PathOpen {
  std::unique_ptr<DeviceHandle> handle{};  // null when the open failed
  std::uint32_t errorCode = 0;             // the OS error of a failed open
  std::string devicePath{};                // names the device in the open failure box
  // What the user must do about the failure, shown after its boxes because
  // the error number alone would not say (missing privileges). Often empty.
  std::string notice{};
};

class TransportPath {
 public:
  virtual ~TransportPath() = default;

  virtual PathSetup Setup() = 0;
  // The candidates of the drive scan, in list order.
  virtual std::vector<DriveAddress> Candidates() = 0;
  virtual PathOpen Open(const DriveAddress& address) = 0;
  // The system's text for an error code; nullopt when the system has none.
  virtual std::optional<std::string> SystemErrorText(std::uint32_t errorCode) = 0;
  // Whether a recorded result means the command ran to its end (the sense key
  // byte decides the rest). ASPI judges by SRB_Status, the others by the call.
  virtual bool CommandCompleted(const CommandResult& result) const { return result.callSucceeded; }
  // A path is never let go of: once a set-up succeeded, what it holds (the
  // ASPI layer's library, requests the layer still has) stays until the
  // process ends.
};
