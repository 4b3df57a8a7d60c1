#include "sim/preload/sg_io_answer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace sim {
namespace {

constexpr int kSgInterfaceId = 'S';
constexpr unsigned char kMinCdbLength = 6;
constexpr unsigned char kMaxCdbLength = 16;  // BLK_MAX_CDB
constexpr unsigned kMillisecondsPerSecond = 1000;
constexpr SenseTriple kSenseAbortedByReset{0x0B, 0x00, 0x00};

std::uint16_t TimeOutSeconds(unsigned milliseconds) {
  const unsigned seconds = (milliseconds + kMillisecondsPerSecond - 1) / kMillisecondsPerSecond;
  return static_cast<std::uint16_t>(
      std::min<unsigned>(seconds, std::numeric_limits<std::uint16_t>::max()));
}

void PutSense(sg_io_hdr_t& header, const SenseTriple& sense) {
  const auto bytes = FixedSense(sense);
  const std::size_t length = std::min<std::size_t>(header.mx_sb_len, bytes.size());
  if (header.sbp != nullptr && length > 0) {
    std::memcpy(header.sbp, bytes.data(), length);
  }
  header.sb_len_wr = static_cast<unsigned char>(header.sbp != nullptr ? length : 0);
}

}  // namespace

int AnswerSgIo(SimDrive& drive, sg_io_hdr_t& header, std::uint32_t* lateMilliseconds) {
  if (lateMilliseconds != nullptr) *lateMilliseconds = 0;
  if (header.interface_id != kSgInterfaceId) return ENOSYS;
  // Scatter lists are never used by the program; refusing them keeps the data
  // pointer below a plain buffer.
  if (header.iovec_count != 0) return EINVAL;
  if (header.cmdp == nullptr) return EFAULT;
  if (header.cmd_len < kMinCdbLength || header.cmd_len > kMaxCdbLength) return EINVAL;

  std::uint8_t direction = kDirectionIn;
  std::uint32_t length = 0;
  if (header.dxfer_len > 0) {
    switch (header.dxfer_direction) {
      case SG_DXFER_TO_DEV:
        direction = 0;
        break;
      case SG_DXFER_FROM_DEV:
      case SG_DXFER_TO_FROM_DEV:
        break;
      default:
        return EINVAL;
    }
    if (header.dxferp == nullptr) return EFAULT;
    length = header.dxfer_len;
  }

  // The drive understands 12-byte blocks; longer blocks lose their tail.
  Cdb cdb{};
  std::memcpy(cdb.data(), header.cmdp, std::min<std::size_t>(header.cmd_len, cdb.size()));
  const SimOutcome outcome =
      drive.Execute(cdb, direction, static_cast<std::uint8_t*>(header.dxferp), length,
                    TimeOutSeconds(header.timeout));
  if (lateMilliseconds != nullptr) *lateMilliseconds = outcome.lateMilliseconds;

  header.status = 0;
  header.masked_status = 0;
  header.msg_status = 0;
  header.sb_len_wr = 0;
  header.host_status = 0;
  header.driver_status = 0;
  header.resid = 0;
  header.duration = 0;
  header.info = SG_INFO_OK;
  switch (outcome.completion) {
    case Completion::Done:
      header.resid = static_cast<int>(length - std::min(length, outcome.moved));
      if (outcome.sense != kSenseNone) {
        header.status = kStatusCheckCondition;
        header.masked_status = kStatusCheckCondition >> 1;
        header.driver_status = kDriverSense;
        PutSense(header, outcome.sense);
      }
      break;
    case Completion::CallFailed:
      if (outcome.errorCode != 0) return static_cast<int>(outcome.errorCode);
      header.host_status = kHostError;
      header.resid = static_cast<int>(length);
      break;
    case Completion::TimedOut:
      // The command ran its whole time-out. libata then aborts it and resets
      // the port, and the answer reads as sense 0Bh/00h/00h instead.
      header.duration = header.timeout;
      if (outcome.portReset) {
        header.status = kStatusCheckCondition;
        header.masked_status = kStatusCheckCondition >> 1;
        header.driver_status = kDriverSense;
        PutSense(header, kSenseAbortedByReset);
      } else {
        header.host_status = kHostTimedOut;
      }
      header.resid = static_cast<int>(length);
      break;
    case Completion::NotAnswering:
      // An unplugged drive fails with DID_ERROR while the host still has it;
      // the removed device then fails every request with DID_NO_CONNECT.
      header.host_status = outcome.detaching ? kHostError : kHostNoConnect;
      header.resid = static_cast<int>(length);
      break;
  }
  if (header.status != 0 || header.host_status != 0 || header.driver_status != 0) {
    header.info = SG_INFO_CHECK;
  }
  return 0;
}

}  // namespace sim
