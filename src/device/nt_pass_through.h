// The request record of the NT SCSI pass-through: the system's
// SCSI_PASS_THROUGH_DIRECT, a 4-byte filler and a 32-byte sense buffer in one
// block, so one DeviceIoControl carries the command, its data pointer and its
// sense result together. Built and read apart from the call itself, so both
// can be checked without a device.
#pragma once

#include <windows.h>
// Needs the types that windows.h declares.
#include <ntddscsi.h>

#include <cstddef>
#include <cstdint>

#include "device/drive_command.h"
#include "device/transport.h"

inline constexpr DWORD kIoctlScsiPassThroughDirect = 0x4D014;
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == kIoctlScsiPassThroughDirect);

inline constexpr std::size_t kPassThroughSenseLength = 32;
inline constexpr UCHAR kPassThroughSenseRequested = 24;  // what the drive may write of it

struct PassThroughRecord {
  SCSI_PASS_THROUGH_DIRECT sptd;
  ULONG filler;
  UCHAR sense[kPassThroughSenseLength];
};

// The record must be what the port driver expects on each system: the
// published layouts of the structure, then the sense buffer right behind the
// filler.
#if defined(_WIN64)
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 32);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 36);
static_assert(offsetof(PassThroughRecord, sense) == 60);
static_assert(sizeof(PassThroughRecord) == 96);
#else
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 20);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 28);
static_assert(offsetof(PassThroughRecord, sense) == 48);
static_assert(sizeof(PassThroughRecord) == 80);
#endif
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == 16);
static_assert(offsetof(PassThroughRecord, sense) ==
              sizeof(SCSI_PASS_THROUGH_DIRECT) + sizeof(ULONG));

inline constexpr DWORD kPassThroughRecordSize = sizeof(PassThroughRecord);

// Zeroes the record and fills it for `command` on the drive at `address`.
void PreparePassThrough(PassThroughRecord& record, const DriveAddress& address,
                        const DriveCommand& command, std::uint8_t* data,
                        std::uint16_t timeOutSeconds);

// Records how the call ended: `callSucceeded` is DeviceIoControl's answer,
// `lastError` the system's error code read right after a failed call, and
// `requestedLength` the transfer length the command asked for.
void RecordPassThroughResult(const PassThroughRecord& record, bool callSucceeded, DWORD lastError,
                             std::uint32_t requestedLength, CommandResult& result);
