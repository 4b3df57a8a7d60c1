// A simulated machine with one drive, reached through CDDrive, with the
// 16 KiB transfer buffer registered the way the main form registers it.
// Only one bench may be alive at a time: it owns the device module's state.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/dialog.h"
#include "device/cddrive.h"
#include "device/cddrives.h"
#include "protocol/protocol_context.h"
#include "sim/sim_drive.h"
#include "sim/sim_transport.h"
#include "support/recording_dialogs.h"

inline constexpr std::uint32_t kTransferBufferLength = 16384;
// A sense that no operation treats specially (hardware error, 44h).
inline constexpr sim::SenseTriple kHardwareError{0x04, 0x44, 0x00};
inline constexpr std::string_view kHardwareErrorText = "04 44 00. 02, 0000";

struct SimBench {
  explicit SimBench(sim::DriveConfig config = {})
      : drive(machine.AddDrive(std::move(config))), path(machine) {
    drives = std::make_unique<CDDrives>();
    CDDrive::SetBuffer(transferBuffer.data(), kTransferBufferLength);
    ctx.selectedDrive = drives->Current();
    ctx.drives = drives.get();
    ctx.dialogs = &dialogs;
    drive.ClearTranscript();
  }
  // The protocol layer reports failures only, as plain OK boxes.
  ~SimBench() {
    for (const RecordedBox& box : dialogs.boxes) {
      EXPECT_EQ(box.kind, BoxKind::Plain) << box.text;
      EXPECT_EQ(box.buttons, BoxButtons::Ok) << box.text;
    }
  }

  std::vector<std::string> Sent() const { return drive.TranscriptText(); }
  std::vector<std::string> Shown() const { return dialogs.Texts(); }
  void Fail(sim::FaultKind kind, sim::FaultTrigger when) {
    drive.InjectFault({.kind = kind, .when = when, .sense = kHardwareError});
  }

  sim::SimMachine machine;
  sim::SimDrive& drive;
  sim::ScopedSimTransport path;
  std::array<std::uint8_t, kTransferBufferLength> transferBuffer{};
  std::unique_ptr<CDDrives> drives;
  RecordingDialogs dialogs;
  protocol::ProtocolContext ctx;
};

// The fault kinds that end a command unsuccessfully; the last two leave no
// sense data behind.
inline constexpr sim::FaultKind kFailingKinds[] = {
    sim::FaultKind::Sense, sim::FaultKind::CallFailed, sim::FaultKind::NeverCompletes};
