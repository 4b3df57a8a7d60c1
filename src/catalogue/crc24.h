// The OpenPGP CRC-24 (RFC 4880, 6.1): the checksum a built flasher carries
// over its firmware image, so a flasher damaged after it was built refuses to
// send its damage to a drive.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t kCrc24Init = 0xB704CE;
inline constexpr std::uint32_t kCrc24Polynomial = 0x864CFB;

// The 24-bit CRC of `size` bytes, in the low three bytes of the result.
std::uint32_t Crc24(const unsigned char* data, std::size_t size);
// The CRC `crc` of earlier bytes carried on over `size` more: a CRC of pieces
// equals the CRC of the pieces run together.
std::uint32_t Crc24Continue(std::uint32_t crc, const unsigned char* data, std::size_t size);
