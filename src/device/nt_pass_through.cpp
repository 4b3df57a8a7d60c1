#include "device/nt_pass_through.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "device/sense_data.h"

namespace {

constexpr BYTE kScsiStatusGood = 0x00;
// What a completed call without sense data but with a failing status reports.
constexpr DWORD kDeviceFailure = ERROR_IO_DEVICE;

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
                             std::uint32_t requestedLength, CommandResult& result) {
  result = CommandResult{};
  const SCSI_PASS_THROUGH_DIRECT& sptd = record.sptd;
  const std::size_t senseLength =
      std::min<std::size_t>(sptd.SenseInfoLength, kPassThroughSenseLength);
  const DecodedSense sense = DecodeSense(std::span(record.sense).first(senseLength));
  result.status = sptd.ScsiStatus;
  result.senseKey = sense.key;
  result.asc = sense.asc;
  result.ascq = sense.ascq;
  if (!callSucceeded) {
    result.errorCode = lastError;
    return;
  }
  if (sptd.ScsiStatus != kScsiStatusGood && !sense.valid) {
    // A busy or failed drive without sense data has not run the command; its
    // zero sense values must not pass for success.
    result.errorCode = kDeviceFailure;
    return;
  }
  result.callSucceeded = true;
  // The port driver reports what it moved; never believe more than was asked.
  result.transferred = std::min<std::uint32_t>(sptd.DataTransferLength, requestedLength);
}
