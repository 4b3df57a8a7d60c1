#include "catalogue/crc24.h"

#include <array>

namespace {

constexpr std::uint32_t kCrc24Mask = 0xFFFFFF;

// The register's next value for each byte that enters its top: one table
// lookup per byte instead of eight shifts, computed at compile time.
constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte << 16;
    for (int bit = 0; bit < 8; ++bit) {
      crc <<= 1;
      if (crc & 0x1000000) crc ^= kCrc24Polynomial;
    }
    table[byte] = crc & kCrc24Mask;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace

std::uint32_t Crc24(const unsigned char* data, std::size_t size) {
  return Crc24Continue(kCrc24Init, data, size);
}

std::uint32_t Crc24Continue(std::uint32_t crc, const unsigned char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    crc = ((crc << 8) ^ kTable[((crc >> 16) ^ data[i]) & 0xFF]) & kCrc24Mask;
  }
  return crc;
}
