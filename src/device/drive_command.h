// One 12-byte ATAPI command block with its direction and transfer length,
// and the result the drive gave for the last command.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

inline constexpr std::size_t kCdbLength = 12;
inline constexpr std::uint8_t kDirectionIn = 1;   // drive to host
inline constexpr std::uint8_t kDirectionOut = 0;  // host to drive (any value but 1)

struct DriveCommand {
  std::array<std::uint8_t, kCdbLength> cdb{};
  std::uint8_t direction = kDirectionIn;
  std::uint32_t length = 0;  // bytes moved through the module's data buffer
};

// The last result of a command on one drive. Every command overwrites it.
struct CommandResult {
  std::uint8_t senseKey = 0;  // sense byte 2 taken whole (flag bits included)
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  std::uint8_t status = 0;  // SCSI status byte (pass-through, SG_IO) or SRB_Status (ASPI)
  bool callSucceeded = false;
  std::uint32_t errorCode = 0;  // GetLastError or errno after a failed call or open
  // Data bytes the command really moved, where the path reports it (SG_IO's
  // residual count, the pass-through's returned DataTransferLength).
  std::optional<std::uint32_t> transferred{};
};
