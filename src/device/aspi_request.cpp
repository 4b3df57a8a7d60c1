#include "device/aspi_request.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "common/scsi_opcodes.h"
#include "device/sense_data.h"
#include "device/sense_layout.h"

namespace {
// ERROR_IO_DEVICE: what the user's box shows for a transfer of the wrong length.
constexpr std::uint32_t kAspiTransferLengthError = 1117;
}  // namespace

void PrepareAspiRequest(aspi::ExecScsiCommand& request, const DriveCommand& command,
                        const DriveAddress& address, std::uint8_t* data, void* event) {
  std::memset(&request, 0, sizeof request);
  request.SRB_Cmd = aspi::kExecScsiCommand;
  request.SRB_HaId = address.hostAdapter;
  request.SRB_Flags = static_cast<std::uint8_t>(
      (command.direction == kDirectionIn ? aspi::kFlagDataIn : aspi::kFlagDataOut) |
      aspi::kFlagEventNotify);
  request.SRB_Target = address.target;
  // ATAPI drives answer at LUN 0 only (an IDE channel's master and slave are
  // targets 0 and 1), and the scan lists nothing else.
  request.SRB_Lun = 0;
  request.SRB_BufLen = command.length;
  request.SRB_BufPointer = data;
  request.SRB_SenseLen = aspi::kSenseLength;
  request.SRB_CDBLen = static_cast<std::uint8_t>(kCdbLength);
  request.SRB_PostProc = event;
  std::copy(command.cdb.begin(), command.cdb.end(), request.CDBByte);
}

void RecordAspiResult(const aspi::ExecScsiCommand& request, CommandResult& result) {
  result = CommandResult{};
  result.status = request.SRB_Status;
  result.callSucceeded = request.SRB_Status == aspi::kStatusComplete;
  // ASPI counts no residue: an over- or underrun is all it says of a
  // transfer that moved another amount than asked, and the buffer then
  // holds bytes the drive never sent. INQUIRY asks for up to its allocation
  // length and a drive may answer less, into a buffer cleared beforehand.
  if (request.SRB_HaStat == aspi::kHostDataOverUnderrun && request.CDBByte[0] != scsi::kOpInquiry) {
    result.callSucceeded = false;
    result.errorCode = kAspiTransferLengthError;
  }
  const DecodedSense sense =
      DecodeSense(std::span<const std::uint8_t>(request.SenseArea, aspi::kSenseLength));
  // A layer that leaves the response code out still puts the values where
  // fixed-format sense has them.
  result.senseKey = sense.valid ? sense.key : request.SenseArea[sense_layout::kFixedKeyByte];
  result.asc = sense.valid ? sense.asc : request.SenseArea[sense_layout::kFixedAscByte];
  result.ascq = sense.valid ? sense.ascq : request.SenseArea[sense_layout::kFixedAscqByte];
}

void RecordAspiTimeOut(std::uint32_t errorCode, CommandResult& result) {
  result = CommandResult{};
  result.status = aspi::kStatusPending;
  result.errorCode = errorCode;
}
