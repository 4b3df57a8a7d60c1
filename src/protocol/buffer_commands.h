// The drive's buffer commands: DRAM write and read, flash start, EEPROM
// write, and the disc and serial-port probes.
//
// Every command is built in ctx.commandBlock and sent to ctx.selectedDrive;
// data passes through the transport's registered data buffer. WriteBuffer,
// ReadBuffer and WriteE2 show a plain OK box (their prefix and the drive's
// SenseText) before returning false; CheckDisc and SetRs232 show nothing.
#pragma once

#include <cstdint>

#include "protocol/protocol_context.h"

namespace protocol {

inline constexpr std::uint8_t kControlData = 0x00;
inline constexpr std::uint8_t kControlFlashStart = 0x80;
inline constexpr std::uint8_t kControlFlashStartAll = 0xA0;

// control 0: writes length bytes of data into the drive's buffer at offset.
// control 0x80 / 0xA0: the flash-start command; data is not read, offset and
// length only fill the CDB, and the drive's answer (16 bytes) lands at the
// start of the transfer buffer. A length beyond the transfer buffer is
// refused with a box and no command.
bool WriteBuffer(ProtocolContext& ctx, std::uint32_t offset, const std::uint8_t* data,
                 std::uint32_t length, std::uint8_t control);

// Reads length bytes of the drive's buffer from offset into destination,
// which is left untouched when the command fails or is refused.
bool ReadBuffer(ProtocolContext& ctx, std::uint32_t offset, std::uint8_t* destination,
                std::uint32_t length);

// Writes count bytes to the drive's EEPROM from address on, one command per
// byte, stopping at the first byte the drive rejects. The address wraps from
// 0xFFFF to 0x0000. count 0 sends nothing and succeeds.
bool WriteE2(ProtocolContext& ctx, const std::uint8_t* data, std::uint16_t address,
             std::uint8_t count);

// True exactly when the current drive of ctx.drives reports that it holds no
// medium (sense 2/3A/00) after a READ CD of block 16.
bool CheckDisc(ProtocolContext& ctx);

// Sends the vendor serial-port command; true when the current drive answers
// with sense 2/3A/00, the same test as CheckDisc.
bool SetRs232(ProtocolContext& ctx);

}  // namespace protocol
