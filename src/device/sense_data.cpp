#include "device/sense_data.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr std::uint8_t kResponseCodeMask = 0x7F;
constexpr std::uint8_t kFixedCurrent = 0x70;
constexpr std::uint8_t kFixedDeferred = 0x71;
constexpr std::uint8_t kDescriptorCurrent = 0x72;
constexpr std::uint8_t kDescriptorDeferred = 0x73;
constexpr std::size_t kFixedKeyByte = 2;
constexpr std::size_t kFixedAscByte = 12;
constexpr std::size_t kFixedAscqByte = 13;
constexpr std::size_t kDescriptorKeyByte = 1;
constexpr std::size_t kDescriptorAscByte = 2;
constexpr std::size_t kDescriptorAscqByte = 3;
constexpr std::size_t kDescriptorsLengthByte = 7;
constexpr std::size_t kDescriptorsStart = 8;
constexpr std::uint8_t kStreamCommandsDescriptor = 0x04;
constexpr std::size_t kStreamFlagsByte = 3;
constexpr std::uint8_t kStreamFlagBits = 0xE0;  // FILEMARK, EOM, ILI

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
