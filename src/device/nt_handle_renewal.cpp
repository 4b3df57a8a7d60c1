#include "device/nt_handle_renewal.h"

#include "common/scsi_opcodes.h"

bool HandleLost(const CommandResult& result) {
  if (result.callSucceeded) return false;
  return result.errorCode == kNtErrorInvalidHandle || result.errorCode == kNtErrorMediaChanged ||
         result.errorCode == kNtErrorDeviceRemoved;
}

void SendRenewing(RenewableDevice& device, const DriveCommand& command, std::uint8_t* data,
                  std::uint16_t timeOutSeconds, CommandResult& result) {
  device.Send(command, data, timeOutSeconds, result);
  if (!HandleLost(result) || !device.Reopen()) return;
  if (command.cdb[0] == scsi::kOpInquiry) device.Send(command, data, timeOutSeconds, result);
}
