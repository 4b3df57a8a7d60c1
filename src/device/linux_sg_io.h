// Building an SG_IO request from a DriveCommand and reading its outcome back,
// kept apart from the ioctl itself so both can be checked without a device.
#pragma once

#include <scsi/sg.h>

#include <array>
#include <cstdint>
#include <span>

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

// ioctlError: 0 when the ioctl returned 0, else its errno.
void RecordSgIoResult(const SgIoExchange& exchange, int ioctlError, CommandResult& result);

struct DecodedSense {
  bool valid = false;  // the bytes held fixed or descriptor sense data
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
};

// Fixed format (70h/71h) gives byte 2 whole, ASC 12, ASCQ 13. Descriptor
// format (72h/73h) gives bytes 1, 2, 3, with the FILEMARK/EOM/ILI bits of a
// stream-commands descriptor folded into the key byte where fixed format
// carries them, so both formats judge alike.
DecodedSense DecodeSense(std::span<const std::uint8_t> sense);
