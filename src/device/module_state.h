// The state that all CDDrive objects share for the whole run. Internal to the
// device module; tests reset and read it through device/testing/.
#pragma once

#include <array>
#include <cstdint>

#include "common/dialog.h"
#include "device/cddrive.h"
#include "device/page_aligned.h"
#include "device/transport.h"

inline constexpr std::size_t kInquiryBufferLength = 256;

struct DeviceModule {
  // Both buffers are handed to the drive as they stand: each starts on a
  // page, the small fields fill the rest of the first one.
  alignas(kDriveBufferAlignment) std::array<std::uint8_t, kInquiryBufferLength> inquiry{};
  TransportPath* path = nullptr;  // chosen by the first construction while no drive is open
  bool errorPopUps = false;
  bool identifying = false;  // commands use `inquiry` instead of the data buffer
  std::uint16_t openCount = 0;
  std::uint16_t timeOutSeconds = kDefaultTimeOutSeconds;
  std::uint8_t status = kStatusNotOpened;
  std::uint8_t* buffer = nullptr;
  std::uint32_t bufferLength = 0;
  alignas(kDriveBufferAlignment) std::array<std::uint8_t, kInternalBufferLength> internalBuffer{};
  DialogSink* dialogs = nullptr;
  // Bumped by every reset, so drives from before a reset leave the counts alone.
  std::uint32_t generation = 0;
};

DeviceModule& Module();

// The path a drive scan lists: the module's own while drives are open (no
// construction would test the platform then), else the one the next
// construction will choose.
TransportPath& ScanPath();
