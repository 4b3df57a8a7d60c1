// Loading the flash profile for the drive's flash chip into the drive's DRAM,
// checking it, and the critical-entry command.
//
// The flash sequence calls SetupFlashProfile before the image download,
// EntryCritical after it (critical-entry images only) and ReadVerifyProfile
// after that when state.ProfileMatched is set. Failures show a plain OK box
// (prefix and SenseText, or the reason for refusing) before returning false.
#pragma once

#include <cstdint>

#include "catalogue/image_format.h"
#include "protocol/protocol_context.h"

namespace protocol {

// Reads the flash chip ID, stages the matching profile (header and code) in
// staging, and writes the first state.ProfileLength staged bytes to the drive.
// Without a match FF FF 00 00 is staged and sent with length 0 (critical-entry
// images) or 4 (extended-id images). Sets every field of state; a profile
// that would not fit staging or the transfer buffer is refused before the
// profile write. format must not be ImageFormat::Plain.
bool SetupFlashProfile(ProtocolContext& ctx, ImageFormat format, ProfileState& state,
                       std::uint8_t* staging, std::uint32_t stagingSize);

// Checks the loaded profile against copy, the first state.ProfileLength bytes
// staged by SetupFlashProfile. Extended-id images: compares copy's code part
// with the pool, without a command and without a box on a difference.
// Critical-entry images: reads the profile back from the drive and compares.
bool ReadVerifyProfile(ProtocolContext& ctx, ImageFormat format, const ProfileState& state,
                       const std::uint8_t* copy, std::uint32_t copySize);

// Sends the critical-entry command.
bool EntryCritical(ProtocolContext& ctx);

}  // namespace protocol
