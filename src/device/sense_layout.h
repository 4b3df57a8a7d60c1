// Where sense data keeps its values, in both formats drives return: read by
// the decoder (sense_data.cpp) and by the ASPI path's fallback for layers
// that leave the response code out (aspi_request.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sense_layout {

// Byte 0, without its VALID bit.
inline constexpr std::uint8_t kResponseCodeMask = 0x7F;
inline constexpr std::uint8_t kFixedCurrent = 0x70;
inline constexpr std::uint8_t kFixedDeferred = 0x71;
inline constexpr std::uint8_t kDescriptorCurrent = 0x72;
inline constexpr std::uint8_t kDescriptorDeferred = 0x73;

// Fixed format: the key byte carries FILEMARK, EOM and ILI above the key.
inline constexpr std::size_t kFixedKeyByte = 2;
inline constexpr std::size_t kFixedAscByte = 12;
inline constexpr std::size_t kFixedAscqByte = 13;

// Descriptor format: the values up front, then a list of descriptors.
inline constexpr std::size_t kDescriptorKeyByte = 1;
inline constexpr std::size_t kDescriptorAscByte = 2;
inline constexpr std::size_t kDescriptorAscqByte = 3;
inline constexpr std::size_t kDescriptorsLengthByte = 7;
inline constexpr std::size_t kDescriptorsStart = 8;
// The stream-commands descriptor, where descriptor format keeps the flags.
inline constexpr std::uint8_t kStreamCommandsDescriptor = 0x04;
inline constexpr std::size_t kStreamFlagsByte = 3;
inline constexpr std::uint8_t kStreamFlagBits = 0xE0;  // FILEMARK, EOM, ILI

}  // namespace sense_layout
