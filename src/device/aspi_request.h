// Building an SRB_ExecSCSICmd from a DriveCommand and reading its outcome
// back, kept apart from the ASPI layer itself so both can be checked without
// Windows.
#pragma once

#include <cstdint>

#include "device/aspi_srb.h"
#include "device/drive_command.h"
#include "device/transport.h"

// Zeroes `request` and fills it for `command` at `address`. `data` is the
// buffer the layer moves data through and `event` the event it signals.
void PrepareAspiRequest(aspi::ExecScsiCommand& request, const DriveCommand& command,
                        const DriveAddress& address, std::uint8_t* data, void* event);

// The result of a request that has ended: SRB_Status as status, the sense
// triple from SenseArea, error code 0. Completed (callSucceeded) means
// SRB_Status is SS_COMP and the adapter reported no data over- or underrun;
// an over- or underrun sets an error code.
void RecordAspiResult(const aspi::ExecScsiCommand& request, CommandResult& result);

// The result of a request still pending when its wait ended: no sense data,
// status SS_PENDING, and `errorCode` (the system's time-out error) so that the
// user is not shown all zeros for a failure.
void RecordAspiTimeOut(std::uint32_t errorCode, CommandResult& result);
