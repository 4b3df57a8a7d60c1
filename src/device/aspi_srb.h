// The ASPI for Win32 request blocks this program and the test ASPI layer
// exchange, laid out byte for byte as the ASPI layer reads them. The 32-bit
// layout is the published one; a 64-bit process has no published layout, so
// it keeps the same fields in the same order, packed, with 8-byte pointers.
// Standard library only: both sides of the interface include it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace aspi {

// SRB_Cmd values.
inline constexpr std::uint8_t kHostAdapterInquiry = 0x00;  // SC_HA_INQUIRY
inline constexpr std::uint8_t kExecScsiCommand = 0x02;     // SC_EXEC_SCSI_CMD
inline constexpr std::uint8_t kAbortRequest = 0x03;        // SC_ABORT_SRB

// SRB_Status values, also the status byte of GetASPI32SupportInfo.
inline constexpr std::uint8_t kStatusPending = 0x00;         // SS_PENDING
inline constexpr std::uint8_t kStatusComplete = 0x01;        // SS_COMP
inline constexpr std::uint8_t kStatusAborted = 0x02;         // SS_ABORTED
inline constexpr std::uint8_t kStatusAbortFailed = 0x03;     // SS_ABORT_FAIL
inline constexpr std::uint8_t kStatusError = 0x04;           // SS_ERR
inline constexpr std::uint8_t kStatusInvalidCommand = 0x80;  // SS_INVALID_CMD
inline constexpr std::uint8_t kStatusInvalidAdapter = 0x81;  // SS_INVALID_HA
inline constexpr std::uint8_t kStatusNoDevice = 0x82;        // SS_NO_DEVICE
inline constexpr std::uint8_t kStatusFailedInit = 0xE4;      // SS_FAILED_INIT

// GetASPI32SupportInfo: status in bits 8-15, host adapter count in bits 0-7.
inline constexpr unsigned kSupportStatusShift = 8;
inline constexpr std::uint32_t kSupportByteMask = 0xFF;

// SRB_Flags bits.
inline constexpr std::uint8_t kFlagDataIn = 0x08;       // SRB_DIR_IN
inline constexpr std::uint8_t kFlagDataOut = 0x10;      // SRB_DIR_OUT
inline constexpr std::uint8_t kFlagEventNotify = 0x40;  // SRB_EVENT_NOTIFY

// SRB_TargStat and SRB_HaStat values the test layer reports and this program reads.
inline constexpr std::uint8_t kTargetCheckCondition = 0x02;
inline constexpr std::uint8_t kHostSelectionTimeOut = 0x11;  // HASTAT_SEL_TO
inline constexpr std::uint8_t kHostDataOverUnderrun = 0x12;  // HASTAT_DO_DU

inline constexpr std::size_t kCdbBytes = 16;
inline constexpr std::uint8_t kSenseLength = 14;  // what this program asks for
inline constexpr std::size_t kSenseAreaBytes = kSenseLength + 2;

#pragma pack(push, 1)

// The eight bytes every request starts with; the layer reads them first to
// learn which request it holds.
struct RequestHeader {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  std::uint32_t SRB_Hdr_Rsvd;
};

// SRB_ExecSCSICmd over the pointer representation of one process width.
template <typename BufferPointer, typename PostProcPointer>
struct ExecScsiCommandLayout {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  std::uint32_t SRB_Hdr_Rsvd;
  std::uint8_t SRB_Target;
  std::uint8_t SRB_Lun;
  std::uint16_t SRB_Rsvd1;
  std::uint32_t SRB_BufLen;
  BufferPointer SRB_BufPointer;
  std::uint8_t SRB_SenseLen;
  std::uint8_t SRB_CDBLen;
  std::uint8_t SRB_HaStat;
  std::uint8_t SRB_TargStat;
  PostProcPointer SRB_PostProc;  // the event to signal with SRB_EVENT_NOTIFY
  std::uint8_t SRB_Rsvd2[20];
  std::uint8_t CDBByte[kCdbBytes];
  std::uint8_t SenseArea[kSenseAreaBytes];
};

// SRB_HAInquiry: pointer-free, the same in both widths.
struct HostAdapterInquiry {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  std::uint32_t SRB_Hdr_Rsvd;
  std::uint8_t HA_Count;
  std::uint8_t HA_SCSI_ID;
  std::uint8_t HA_ManagerId[16];
  std::uint8_t HA_Identifier[16];
  std::uint8_t HA_Unique[16];
  std::uint16_t HA_Rsvd1;
};

// SRB_Abort: names the request to abort by its address.
template <typename RequestPointer>
struct AbortLayout {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  std::uint32_t SRB_Hdr_Rsvd;
  RequestPointer SRB_ToAbort;
};

#pragma pack(pop)

// Both widths, with pointers as plain integers, so that every build checks both.
using ExecScsiCommand32 = ExecScsiCommandLayout<std::uint32_t, std::uint32_t>;
using ExecScsiCommand64 = ExecScsiCommandLayout<std::uint64_t, std::uint64_t>;
// The layout of this process.
using ExecScsiCommand = ExecScsiCommandLayout<std::uint8_t*, void*>;
using Abort = AbortLayout<void*>;

static_assert(sizeof(RequestHeader) == 8);
static_assert(sizeof(HostAdapterInquiry) == 60);
static_assert(sizeof(AbortLayout<std::uint32_t>) == 12);
static_assert(sizeof(AbortLayout<std::uint64_t>) == 16);

static_assert(sizeof(ExecScsiCommand32) == 80);
static_assert(offsetof(ExecScsiCommand32, SRB_Target) == 8);
static_assert(offsetof(ExecScsiCommand32, SRB_BufLen) == 12);
static_assert(offsetof(ExecScsiCommand32, SRB_BufPointer) == 16);
static_assert(offsetof(ExecScsiCommand32, SRB_SenseLen) == 20);
static_assert(offsetof(ExecScsiCommand32, SRB_TargStat) == 23);
static_assert(offsetof(ExecScsiCommand32, SRB_PostProc) == 24);
static_assert(offsetof(ExecScsiCommand32, CDBByte) == 48);
static_assert(offsetof(ExecScsiCommand32, SenseArea) == 64);

static_assert(sizeof(ExecScsiCommand64) == 88);
static_assert(offsetof(ExecScsiCommand64, SRB_BufPointer) == 16);
static_assert(offsetof(ExecScsiCommand64, SRB_SenseLen) == 24);
static_assert(offsetof(ExecScsiCommand64, SRB_TargStat) == 27);
static_assert(offsetof(ExecScsiCommand64, SRB_PostProc) == 28);
static_assert(offsetof(ExecScsiCommand64, CDBByte) == 56);
static_assert(offsetof(ExecScsiCommand64, SenseArea) == 72);

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
static_assert(sizeof(ExecScsiCommand) ==
              (sizeof(void*) == 4 ? sizeof(ExecScsiCommand32) : sizeof(ExecScsiCommand64)));
static_assert(offsetof(ExecScsiCommand, SenseArea) ==
              (sizeof(void*) == 4 ? offsetof(ExecScsiCommand32, SenseArea)
                                  : offsetof(ExecScsiCommand64, SenseArea)));
static_assert(sizeof(Abort) == sizeof(AbortLayout<std::uintptr_t>));

}  // namespace aspi
