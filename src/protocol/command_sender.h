// The steps every protocol operation shares: CDB fields, sending the
// context's command block, and telling the user why an operation failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/protocol_context.h"

namespace protocol {

// Stores the low 24 bits of value big-endian at cdb[at..at+2].
void PutField24(std::array<std::uint8_t, kCdbLength>& cdb, std::size_t at, std::uint32_t value);

// Sends ctx.commandBlock to the selected drive. True only when the transport
// completed the call and the drive reported sense 0/0/0: a failed call leaves
// the sense values at zero, so they alone cannot tell success. `answer` says
// whether a sense answer is a failure to report or the caller's to read.
bool SendCommandBlock(ProtocolContext& ctx, std::uint8_t direction, std::uint32_t length,
                      SenseAnswer answer = SenseAnswer::Failure);

// Sends ctx.commandBlock as a data-in command of `length` bytes. On failure
// it shows prefix + SenseText() and returns false; an answer that moved fewer
// bytes than asked counts as a failure too (the data buffer would otherwise
// still hold whatever an earlier command left there).
bool ReceiveCommandBlock(ProtocolContext& ctx, std::string_view prefix, std::uint32_t length);

// Shows prefix + the selected drive's SenseText() in a plain box.
void ReportCommandFailure(const ProtocolContext& ctx, std::string_view prefix);

// Shows text in a plain OK box; nothing when the context has no dialog sink.
void ShowPlain(const ProtocolContext& ctx, std::string_view text);

// True when a drive is selected and length fits the registered data buffer.
// Otherwise shows prefix followed by the reason (unless prefix is empty,
// for the operations that report nothing) and returns false, so that no
// command is sent.
bool CanTransfer(const ProtocolContext& ctx, std::string_view prefix, std::uint32_t length);

}  // namespace protocol
