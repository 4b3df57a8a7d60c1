#include "device/sense_data.h"

#include <algorithm>
#include <cstddef>

#include "device/sense_layout.h"

namespace {

using namespace sense_layout;

std::uint8_t ByteAt(std::span<const std::uint8_t> bytes, std::size_t index) {
  return index < bytes.size() ? bytes[index] : 0;
}

std::uint8_t StreamFlags(std::span<const std::uint8_t> sense) {
  const std::size_t end =
      std::min(sense.size(), kDescriptorsStart + ByteAt(sense, kDescriptorsLengthByte));
  for (std::size_t at = kDescriptorsStart; at + 1 < end; at += 2 + sense[at + 1]) {
    if (sense[at] == kStreamCommandsDescriptor) {
      return ByteAt(sense.first(end), at + kStreamFlagsByte) & kStreamFlagBits;
    }
  }
  return 0;
}

}  // namespace

DecodedSense DecodeSense(std::span<const std::uint8_t> sense) {
  DecodedSense decoded;
  switch (ByteAt(sense, 0) & kResponseCodeMask) {
    case kFixedCurrent:
    case kFixedDeferred:
      decoded.valid = true;
      decoded.key = ByteAt(sense, kFixedKeyByte);
      decoded.asc = ByteAt(sense, kFixedAscByte);
      decoded.ascq = ByteAt(sense, kFixedAscqByte);
      break;
    case kDescriptorCurrent:
    case kDescriptorDeferred:
      decoded.valid = true;
      decoded.key = ByteAt(sense, kDescriptorKeyByte) | StreamFlags(sense);
      decoded.asc = ByteAt(sense, kDescriptorAscByte);
      decoded.ascq = ByteAt(sense, kDescriptorAscqByte);
      break;
    default:
      break;
  }
  return decoded;
}
