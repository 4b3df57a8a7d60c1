// Sense data as drives return it, decoded once for every transport path
// (SG_IO, the NT pass-through and ASPI all hand back the raw bytes).
#pragma once

#include <cstdint>
#include <span>

struct DecodedSense {
  bool valid = false;  // the bytes held fixed or descriptor sense data
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
};

// Fixed format (70h/71h) gives byte 2 whole, ASC 12, ASCQ 13. Descriptor
// format (72h/73h) gives bytes 1, 2, 3, with the FILEMARK/EOM/ILI bits of a
// stream-commands descriptor folded into the key byte where fixed format
// carries them, so both formats judge alike. Nothing past `sense` is read:
// missing bytes count as zero.
DecodedSense DecodeSense(std::span<const std::uint8_t> sense);
