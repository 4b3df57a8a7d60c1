// The operation codes (byte 0 of a command block) of every command the
// program sends, named once for the sender and for the simulated drive that
// answers them.
#pragma once

#include <cstdint>

namespace scsi {

inline constexpr std::uint8_t kOpTestUnitReady = 0x00;
inline constexpr std::uint8_t kOpInquiry = 0x12;
inline constexpr std::uint8_t kOpStartStopUnit = 0x1B;
inline constexpr std::uint8_t kOpWriteBuffer = 0x3B;
inline constexpr std::uint8_t kOpReadBuffer = 0x3C;
inline constexpr std::uint8_t kOpStopPlayScan = 0x4E;
inline constexpr std::uint8_t kOpReadCd = 0xBE;
// Vendor-specific: the flash family (flash ID, EEPROM write) and the serial port.
inline constexpr std::uint8_t kOpVendorFlash = 0xDF;
inline constexpr std::uint8_t kOpVendorSerial = 0xF3;

}  // namespace scsi
