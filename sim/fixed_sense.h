// The sense bytes a simulated drive returns after a check condition, in the
// fixed format of a current error, as both layers that hand its answers to a
// program (the SG_IO preload and the test ASPI layer) copy them out. The
// positions are written here from the SCSI primary commands, apart from the
// product's decoder (src/device/sense_layout.h): a slip in either shows up
// as a disagreement in the tests instead of being shared by both.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/sim_drive.h"

namespace sim {

inline constexpr std::size_t kFixedSenseLength = 18;

inline std::array<std::uint8_t, kFixedSenseLength> FixedSense(const SenseTriple& sense) {
  constexpr std::uint8_t kCurrentError = 0x70;
  constexpr std::size_t kKeyByte = 2;
  constexpr std::size_t kAdditionalLengthByte = 7;  // counts the bytes after it
  constexpr std::size_t kAscByte = 12;
  constexpr std::size_t kAscqByte = 13;
  std::array<std::uint8_t, kFixedSenseLength> bytes{};
  bytes[0] = kCurrentError;
  bytes[kKeyByte] = sense.key;
  bytes[kAdditionalLengthByte] = kFixedSenseLength - (kAdditionalLengthByte + 1);
  bytes[kAscByte] = sense.asc;
  bytes[kAscqByte] = sense.ascq;
  return bytes;
}

}  // namespace sim
