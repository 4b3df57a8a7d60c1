// A simulated machine behind the device module, with the module's boxes recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "device/cddrive.h"
#include "sim/sim_transport.h"
#include "support/recording_dialogs.h"

class SimFixture : public ::testing::Test {
 protected:
  void SetUp() override { CDDrive::SetDialogSink(&dialogs); }

  static DriveCommand Command(std::initializer_list<std::uint8_t> cdb,
                              std::uint8_t direction = kDirectionIn, std::uint32_t length = 0) {
    DriveCommand command;
    std::copy(cdb.begin(), cdb.end(), command.cdb.begin());
    command.direction = direction;
    command.length = length;
    return command;
  }

  sim::SimMachine machine;
  sim::ScopedSimTransport path{machine};
  RecordingDialogs dialogs;
};
