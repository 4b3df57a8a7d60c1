#include "device/linux_sg_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "device/sense_data.h"

namespace {

constexpr int kSgInterfaceId = 'S';
constexpr unsigned kMillisecondsPerSecond = 1000;

// Host byte DID_TIME_OUT and driver byte DRIVER_TIMEOUT; the low three bits of
// the driver byte carry its error code, DRIVER_SENSE (08h) only says sense came.
constexpr unsigned kHostTimedOut = 0x03;
constexpr unsigned kDriverTimedOut = 0x06;
constexpr unsigned kDriverErrorMask = 0x07;
// DID_NO_CONNECT and DID_ERROR: what an unplugged drive's commands end with.
constexpr unsigned kHostNoConnect = 0x01;
constexpr unsigned kHostError = 0x07;

// libata aborts a command that ran past its time-out and resets the port; the
// answer then reads sense 0Bh/00h/00h with DRIVER_SENSE, never DID_TIME_OUT,
// so only the time the command took tells what happened.
bool RanOutOfTime(const sg_io_hdr_t& header) {
  return header.host_status == kHostTimedOut ||
         (header.driver_status & kDriverErrorMask) == kDriverTimedOut ||
         (header.timeout > 0 && header.duration >= header.timeout);
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

  if (RanOutOfTime(header)) {
    result.errorCode = ETIMEDOUT;
  } else if (header.host_status != 0 || (header.driver_status & kDriverErrorMask) != 0 ||
             (header.status != kScsiStatusGood && !sense.valid)) {
    // A busy or failed device without sense data has not run the command;
    // with zero sense values that must not pass for success.
    result.errorCode = EIO;
  } else {
    result.callSucceeded = true;
    // A driver that reports a residual beyond the request is not believed
    // to have moved negative bytes.
    const auto resid = static_cast<std::uint32_t>(std::max(header.resid, 0));
    result.transferred = header.dxfer_len - std::min(resid, header.dxfer_len);
  }
}

bool SgIoLostDevice(const SgIoExchange& exchange, int ioctlError) {
  if (ioctlError != 0) return ioctlError == ENODEV || ioctlError == ENXIO;
  const unsigned host = exchange.header.host_status;
  return !RanOutOfTime(exchange.header) && (host == kHostNoConnect || host == kHostError);
}
