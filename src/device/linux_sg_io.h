// Building an SG_IO request from a DriveCommand and reading its outcome back,
// kept apart from the ioctl itself so both can be checked without a device.
#pragma once

#include <scsi/sg.h>

#include <array>
#include <cstdint>

#include "device/drive_command.h"

inline constexpr std::size_t kSgSenseLength = 32;
inline constexpr std::uint8_t kScsiStatusGood = 0x00;

// One request with the storage its pointers refer to. Not copyable, because
// the header points into it.
struct SgIoExchange {
  sg_io_hdr_t header{};
  std::array<std::uint8_t, kCdbLength> cdb{};
  std::array<std::uint8_t, kSgSenseLength> sense{};

  SgIoExchange() = default;
  SgIoExchange(const SgIoExchange&) = delete;
  SgIoExchange& operator=(const SgIoExchange&) = delete;
};

void PrepareSgIo(SgIoExchange& exchange, const DriveCommand& command, std::uint8_t* data,
                 std::uint16_t timeOutSeconds);

// ioctlError: 0 when the ioctl returned 0, else its errno. The sense bytes
// are decoded with DecodeSense, and the residual count gives `transferred`.
// A command that ran as long as its time-out is a time-out (ETIMEDOUT),
// whatever the status codes say.
void RecordSgIoResult(const SgIoExchange& exchange, int ioctlError, CommandResult& result);

// Whether the outcome is one an unplugged drive gives (the host lost it or
// the request failed on the way); only the node's disappearance proves it.
bool SgIoLostDevice(const SgIoExchange& exchange, int ioctlError);
