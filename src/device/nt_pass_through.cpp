#include "device/nt_pass_through.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace {

// Fixed-format sense data: the key byte, ASC and ASCQ.
constexpr std::size_t kSenseKeyByte = 2;
constexpr std::size_t kAscByte = 12;
constexpr std::size_t kAscqByte = 13;

}  // namespace

void PreparePassThrough(PassThroughRecord& record, const DriveAddress& address,
                        const DriveCommand& command, std::uint8_t* data,
                        std::uint16_t timeOutSeconds) {
  std::memset(&record, 0, sizeof(record));
  SCSI_PASS_THROUGH_DIRECT& sptd = record.sptd;
  sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
  sptd.PathId = address.hostAdapter;
  sptd.TargetId = address.target;
  sptd.Lun = address.lun;
  sptd.CdbLength = kCdbLength;
  sptd.SenseInfoLength = kPassThroughSenseRequested;
  sptd.DataIn = command.direction == kDirectionIn ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_OUT;
  sptd.DataTransferLength = command.length;
  sptd.TimeOutValue = timeOutSeconds;
  sptd.DataBuffer = data;
  sptd.SenseInfoOffset = offsetof(PassThroughRecord, sense);
  std::copy(command.cdb.begin(), command.cdb.end(), sptd.Cdb);
}

void RecordPassThroughResult(const PassThroughRecord& record, bool callSucceeded, DWORD lastError,
                             CommandResult& result) {
  const std::span<const UCHAR> sense(record.sense);
  result.callSucceeded = callSucceeded;
  result.errorCode = callSucceeded ? 0 : lastError;
  result.status = record.sptd.ScsiStatus;
  result.senseKey = sense[kSenseKeyByte];
  result.asc = sense[kAscByte];
  result.ascq = sense[kAscqByte];
}
