// What the main form lends the protocol operations for one call, and the
// per-run flash profile state that it keeps between them.
#pragma once

#include <array>
#include <cstdint>

#include "common/dialog.h"
#include "device/cddrive.h"
#include "device/cddrives.h"
#include "device/drive_command.h"

namespace protocol {

// Data always moves through the transport's registered data buffer
// (CDDrive::GetBuffer / GetBufferLength), so the form must have registered its
// transfer buffer with CDDrive::SetBuffer before the first command; transfer
// lengths are checked against that buffer's registered length.
struct ProtocolContext {
  CDDrive* selectedDrive = nullptr;  // every command goes to this drive
  // CheckDisc and SetRs232 read their sense result from drives->Current(),
  // which the form keeps equal to selectedDrive.
  CDDrives* drives = nullptr;
  // Each operation writes all 12 bytes before sending; the block keeps the
  // last command afterwards.
  std::array<std::uint8_t, kCdbLength> commandBlock{};
  DialogSink* dialogs = nullptr;  // null shows nothing
};

// Set by SetupFlashProfile, read by ReadVerifyProfile in the same run.
struct ProfileState {
  bool ProfileMatched = false;
  bool FixedSizeProfile = false;
  std::int32_t ProfileOffset = 0;        // code's offset in the profile pool
  std::int32_t ProfileHeaderLength = 0;  // 4 or 6; set only when a profile matched
  std::int32_t ProfileLength = 0;        // profile write's transfer length

  // What the flash sequence does at the start of every run.
  void ClearForRun() {
    ProfileMatched = false;
    FixedSizeProfile = false;
    ProfileLength = 0;
  }
};

}  // namespace protocol
