// A drive that restarted after its flash may leave this program's handle
// dead: the next command fails with media changed, invalid handle or device
// removed, and the drive's fresh identification would read as a failed flash.
// Such a handle is opened afresh once, and a command that only asks is sent
// again through the new one. Kept apart from the calls, so it can be checked
// on any system.
#pragma once

#include <cstdint>

#include "device/drive_command.h"

inline constexpr std::uint32_t kNtErrorInvalidHandle = 6;
inline constexpr std::uint32_t kNtErrorMediaChanged = 1110;
inline constexpr std::uint32_t kNtErrorDeviceRemoved = 1617;

// The failures after which the handle no longer reaches the drive.
bool HandleLost(const CommandResult& result);

// The calls on one drive's handle.
class RenewableDevice {
 public:
  virtual ~RenewableDevice() = default;
  virtual void Send(const DriveCommand& command, std::uint8_t* data, std::uint16_t timeOutSeconds,
                    CommandResult& result) = 0;
  // Closes the handle and opens the same device again; false when it cannot.
  virtual bool Reopen() = 0;
};

// Sends `command`; on a lost handle reopens the device once, and repeats the
// command only when it is an INQUIRY, which changes nothing on the drive.
// Anything else keeps its failure: the caller did not ask to send it twice.
void SendRenewing(RenewableDevice& device, const DriveCommand& command, std::uint8_t* data,
                  std::uint16_t timeOutSeconds, CommandResult& result);
