#include "protocol/command_sender.h"

#include <optional>
#include <string>

namespace protocol {

void PutField24(std::array<std::uint8_t, kCdbLength>& cdb, std::size_t at, std::uint32_t value) {
  cdb[at] = static_cast<std::uint8_t>(value >> 16);
  cdb[at + 1] = static_cast<std::uint8_t>(value >> 8);
  cdb[at + 2] = static_cast<std::uint8_t>(value);
}

bool SendCommandBlock(ProtocolContext& ctx, std::uint8_t direction, std::uint32_t length,
                      SenseAnswer answer) {
  DriveCommand command;
  command.cdb = ctx.commandBlock;
  command.direction = direction;
  command.length = length;
  const bool completed = ctx.selectedDrive->ExecCommand(command, answer);
  return completed && ctx.selectedDrive->SenseIs(0, 0, 0);
}

bool ReceiveCommandBlock(ProtocolContext& ctx, std::string_view prefix, std::uint32_t length) {
  if (!SendCommandBlock(ctx, kDirectionIn, length)) {
    ReportCommandFailure(ctx, prefix);
    return false;
  }
  const std::optional<std::uint32_t> moved = ctx.selectedDrive->LastResult().transferred;
  if (moved && *moved < length) {
    ShowPlain(ctx, std::string(prefix) + ctx.selectedDrive->SenseText() + "\nThe drive sent " +
                       std::to_string(*moved) + " of the " + std::to_string(length) +
                       " bytes asked for.");
    return false;
  }
  return true;
}

void ShowPlain(const ProtocolContext& ctx, std::string_view text) {
  if (ctx.dialogs != nullptr) {
    ctx.dialogs->ShowMessage(std::string(text), BoxKind::Plain, BoxButtons::Ok);
  }
}

void ReportCommandFailure(const ProtocolContext& ctx, std::string_view prefix) {
  ShowPlain(ctx, std::string(prefix) + ctx.selectedDrive->SenseText());
}

bool CanTransfer(const ProtocolContext& ctx, std::string_view prefix, std::uint32_t length) {
  std::string reason;
  if (ctx.selectedDrive == nullptr) {
    reason = "no drive is selected.";
  } else if (length > CDDrive::GetBufferLength()) {
    reason = "refused: " + std::to_string(length) + " bytes do not fit the " +
             std::to_string(CDDrive::GetBufferLength()) + "-byte transfer buffer.";
  } else {
    return true;
  }
  if (!prefix.empty()) {
    ShowPlain(ctx, std::string(prefix) + reason);
  }
  return false;
}

}  // namespace protocol
