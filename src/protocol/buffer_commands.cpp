#include "protocol/buffer_commands.h"

#include <cstring>

#include "protocol/command_bytes.h"
#include "protocol/command_sender.h"

namespace protocol {
namespace {

constexpr std::string_view kWriteBufferPrefix = "Write Buffer> ";
constexpr std::string_view kReadBufferPrefix = "Read Buffer> ";
constexpr std::string_view kWriteE2Prefix = "Write E2> ";

constexpr std::uint8_t kSubWriteE2 = 0x0A;
constexpr std::uint8_t kSubSerialPort = 0x04;

constexpr std::size_t kE2AddressHigh = 7;
constexpr std::size_t kE2AddressLow = 8;
constexpr std::size_t kE2Data = 9;

// The drive answers the flash-start command with up to 16 bytes.
constexpr std::uint32_t kFlashStartAnswerLength = 16;
// Both probes read less than the block READ CD asks for; the answer is unused.
constexpr std::uint32_t kProbeAnswerLength = 8;

constexpr std::uint8_t kNoMediumKey = 0x02;
constexpr std::uint8_t kNoMediumAsc = 0x3A;
constexpr std::uint8_t kNoMediumAscq = 0x00;

bool IsFlashStart(std::uint8_t control) {
  return control == kControlFlashStart || control == kControlFlashStartAll;
}

void FillBufferCommand(ProtocolContext& ctx, std::uint8_t opcode, std::uint8_t mode,
                       std::uint32_t offset, std::uint32_t length, std::uint8_t control) {
  ctx.commandBlock = {opcode, mode, kBufferId};
  PutField24(ctx.commandBlock, kOffsetField, offset);
  PutField24(ctx.commandBlock, kLengthField, length);
  ctx.commandBlock[kControlByte] = control;
}

bool DriveHasNoMedium(const ProtocolContext& ctx) {
  const CDDrive* current = ctx.drives != nullptr ? ctx.drives->Current() : nullptr;
  return current != nullptr && current->SenseIs(kNoMediumKey, kNoMediumAsc, kNoMediumAscq);
}

// The probes judge by the current drive's sense alone, whatever ExecCommand
// said, so a sense answer is theirs to read, not a failure to report.
bool SendProbe(ProtocolContext& ctx) {
  if (!CanTransfer(ctx, {}, kProbeAnswerLength)) {
    return false;
  }
  SendCommandBlock(ctx, kDirectionIn, kProbeAnswerLength, SenseAnswer::ReadByCaller);
  return DriveHasNoMedium(ctx);
}

}  // namespace

bool WriteBuffer(ProtocolContext& ctx, std::uint32_t offset, const std::uint8_t* data,
                 std::uint32_t length, std::uint8_t control) {
  const bool flashStart = IsFlashStart(control);
  const std::uint32_t transferLength = flashStart ? kFlashStartAnswerLength : length;
  if (!CanTransfer(ctx, kWriteBufferPrefix, transferLength)) {
    return false;
  }
  if (!flashStart && length > 0 && data == nullptr) {
    ShowPlain(ctx, std::string(kWriteBufferPrefix) + "refused: no data to write.");
    return false;
  }
  FillBufferCommand(ctx, kOpWriteBuffer, kWriteBufferMode, offset, length, control);
  bool ok = false;
  if (flashStart) {
    ok = SendCommandBlock(ctx, kDirectionIn, kFlashStartAnswerLength);
  } else {
    if (length > 0) {
      // memmove: the caller may hand in the transfer buffer itself.
      std::memmove(CDDrive::GetBuffer(), data, length);
    }
    ok = SendCommandBlock(ctx, kDirectionOut, length);
  }
  if (!ok) {
    ReportCommandFailure(ctx, kWriteBufferPrefix);
  }
  return ok;
}

bool ReadBuffer(ProtocolContext& ctx, std::uint32_t offset, std::uint8_t* destination,
                std::uint32_t length) {
  if (!CanTransfer(ctx, kReadBufferPrefix, length)) {
    return false;
  }
  if (length > 0 && destination == nullptr) {
    ShowPlain(ctx, std::string(kReadBufferPrefix) + "refused: nowhere to put the data.");
    return false;
  }
  FillBufferCommand(ctx, kOpReadBuffer, kReadBufferMode, offset, length, 0);
  if (!ReceiveCommandBlock(ctx, kReadBufferPrefix, length)) {
    return false;
  }
  if (length > 0) {
    std::memmove(destination, CDDrive::GetBuffer(), length);
  }
  return true;
}

bool WriteE2(ProtocolContext& ctx, const std::uint8_t* data, std::uint16_t address,
             std::uint8_t count) {
  ctx.commandBlock = {kOpVendorFlash, kSubWriteE2};
  if (count == 0) {
    return true;
  }
  if (!CanTransfer(ctx, kWriteE2Prefix, 0)) {
    return false;
  }
  if (data == nullptr) {
    ShowPlain(ctx, std::string(kWriteE2Prefix) + "refused: no data to write.");
    return false;
  }
  for (std::uint8_t index = 0; index < count; ++index) {
    ctx.commandBlock[kE2AddressHigh] = static_cast<std::uint8_t>(address >> 8);
    ctx.commandBlock[kE2AddressLow] = static_cast<std::uint8_t>(address);
    ctx.commandBlock[kE2Data] = data[index];
    if (!SendCommandBlock(ctx, kDirectionIn, 0)) {
      ReportCommandFailure(ctx, kWriteE2Prefix);
      return false;
    }
    ++address;  // 16-bit: wraps from 0xFFFF to 0x0000
  }
  return true;
}

bool CheckDisc(ProtocolContext& ctx) {
  // READ CD of logical block 16, one block, user data only.
  ctx.commandBlock = {
      scsi::kOpReadCd, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x01, 0x10, 0x00, 0x00};
  return SendProbe(ctx);
}

bool SetRs232(ProtocolContext& ctx) {
  ctx.commandBlock = {scsi::kOpVendorSerial, kSubSerialPort, 0x01, 0x01};
  return SendProbe(ctx);
}

}  // namespace protocol
