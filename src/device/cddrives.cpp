#include "device/cddrives.h"

#include "device/module_state.h"
#include "device/transport.h"

CDDrives::CDDrives() {
  for (const DriveAddress& address : ScanPath().Candidates()) {
    // Further drives are not even opened: a drive that is open but unlisted
    // would hold its device and the open count for nothing.
    if (count_ == kMaxListedDrives) {
      break;
    }
    // The drive opens what the scan found, not whatever matches its numbers.
    auto drive = std::make_unique<CDDrive>(address);
    if (CDDrive::GetStatus() == kStatusOpened) {
      slots_[count_] = std::move(drive);
      ++count_;
    }
  }
  if (count_ > 0) {
    Select(0);
  }
}

CDDrives::~CDDrives() {
  for (std::size_t slot = count_; slot > 0; --slot) {
    slots_[slot - 1].reset();
  }
}

bool CDDrives::Select(std::int16_t index) {
  if (index < 0 || index >= count_) {
    return false;
  }
  current_ = slots_[static_cast<std::size_t>(index)].get();
  return true;
}
