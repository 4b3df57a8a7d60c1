#include "device/linux_sg_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int kSgInterfaceId = 'S';
constexpr unsigned kMillisecondsPerSecond = 1000;

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

// Host byte DID_TIME_OUT and driver byte DRIVER_TIMEOUT; the low three bits of
// the driver byte carry its error code, DRIVER_SENSE (08h) only says sense came.
constexpr unsigned kHostTimedOut = 0x03;
constexpr unsigned kDriverTimedOut = 0x06;
constexpr unsigned kDriverErrorMask = 0x07;

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

void PrepareSgIo(SgIoExchange& exchange, const DriveCommand& command, std::uint8_t* data,
                 std::uint16_t timeOutSeconds) {
  exchange.cdb = command.cdb;
  exchange.sense.fill(0);
  sg_io_hdr_t& header = exchange.header;
  std::memset(&header, 0, sizeof header);
  header.interface_id = kSgInterfaceId;
  header.cmdp = exchange.cdb.data();
  header.cmd_len = kCdbLength;
  header.sbp = exchange.sense.data();
  header.mx_sb_len = kSgSenseLength;
  header.timeout = unsigned{timeOutSeconds} * kMillisecondsPerSecond;
  if (command.length == 0) {
    header.dxfer_direction = SG_DXFER_NONE;
  } else {
    header.dxfer_direction =
        command.direction == kDirectionIn ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
    header.dxfer_len = command.length;
    header.dxferp = data;
  }
}

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

void RecordSgIoResult(const SgIoExchange& exchange, int ioctlError, CommandResult& result) {
  result = CommandResult{};
  if (ioctlError != 0) {
    result.errorCode = static_cast<std::uint32_t>(ioctlError);
    return;
  }
  const sg_io_hdr_t& header = exchange.header;
  const std::size_t senseLength = std::min<std::size_t>(header.sb_len_wr, exchange.sense.size());
  const DecodedSense sense = DecodeSense(std::span(exchange.sense).first(senseLength));
  result.status = header.status;
  result.senseKey = sense.key;
  result.asc = sense.asc;
  result.ascq = sense.ascq;

  if (header.host_status == kHostTimedOut ||
      (header.driver_status & kDriverErrorMask) == kDriverTimedOut) {
    result.errorCode = ETIMEDOUT;
  } else if (header.host_status != 0 || (header.driver_status & kDriverErrorMask) != 0 ||
             (header.status != kScsiStatusGood && !sense.valid)) {
    // A busy or failed device without sense data has not run the command;
    // with zero sense values that must not pass for success.
    result.errorCode = EIO;
  } else {
    result.callSucceeded = true;
  }
}
