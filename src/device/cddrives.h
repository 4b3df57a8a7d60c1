// CDDrives: the drives found at start-up, in the order the transport lists them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "device/cddrive.h"

inline constexpr std::size_t kMaxListedDrives = 24;

class CDDrives {
 public:
  CDDrives();   // scans, then selects entry 0 when any drive was found
  ~CDDrives();  // destroys the drives from the last slot down
  CDDrives(const CDDrives&) = delete;
  CDDrives& operator=(const CDDrives&) = delete;

  // False, changing nothing, when index < 0 or index >= Count().
  bool Select(std::int16_t index);
  std::uint8_t Count() const { return count_; }
  CDDrive* Current() const { return current_; }
  CDDrive* At(std::size_t slot) const { return slot < count_ ? slots_[slot].get() : nullptr; }

 private:
  std::uint8_t count_ = 0;
  std::array<std::unique_ptr<CDDrive>, kMaxListedDrives> slots_{};
  CDDrive* current_ = nullptr;
};
