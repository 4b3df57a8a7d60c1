// Modes and CDB positions of the drive's buffer commands, named once for
// every operation that builds them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/scsi_opcodes.h"

namespace protocol {

using scsi::kOpReadBuffer;
using scsi::kOpVendorFlash;
using scsi::kOpWriteBuffer;
inline constexpr std::uint8_t kWriteBufferMode = 0x05;  // download microcode with offsets
inline constexpr std::uint8_t kReadBufferMode = 0x01;   // vendor-specific data
inline constexpr std::uint8_t kBufferId = 0x01;

inline constexpr std::size_t kOffsetField = 3;  // 24-bit big-endian, bytes 3 to 5
inline constexpr std::size_t kLengthField = 6;  // 24-bit big-endian, bytes 6 to 8
inline constexpr std::size_t kControlByte = 9;

}  // namespace protocol
