// The flash profile table: which flash chip ID selects which profile code in
// the pool (profile_pool.h), and how long that code is. The table decides
// the pool's length: the build refuses a pool file of any other.
//
// The order is significant: lookups take the first match, and pool offsets
// are the running sum of the code lengths before an entry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// One table entry in the byte layout the drive-side header reuses.
struct FlashProfileEntry {
  std::uint8_t manufacturer;  // JEDEC code, byte 0 of the flash chip ID
  std::uint8_t device;        // byte 1 of the flash chip ID
  std::uint8_t codeLengthHigh;
  std::uint8_t codeLengthLow;
  std::array<std::uint8_t, 2> variant;  // bytes 2 and 3 of the ID, extended-id images only

  constexpr std::uint16_t CodeLength() const {
    return static_cast<std::uint16_t>((codeLengthHigh << 8) | codeLengthLow);
  }
};
static_assert(sizeof(FlashProfileEntry) == 6, "table entries are six packed bytes");

inline constexpr std::size_t kProfileCount = 10;
inline constexpr std::size_t kFlashIdBytesUsed = 4;

// clang-format off
inline constexpr std::array<FlashProfileEntry, kProfileCount> kProfileTable = {{
    {0xDA, 0xC8, 0x01, 0x3A, {0x00, 0x00}},  // 314
    {0xBF, 0xB4, 0x01, 0xC4, {0x00, 0x00}},  // 452
    {0xBF, 0xD6, 0x05, 0x00, {0x00, 0x01}},  // 1280, code of entry 3
    {0xBF, 0xB6, 0x05, 0x00, {0x00, 0x01}},  // 1280, SST39VF020/SST39SF020 V1.2
    {0x37, 0x8C, 0x05, 0x00, {0x00, 0x01}},  // 1280, AMIC A29002 Top V1.2
    {0xBF, 0xD7, 0x03, 0xE6, {0x00, 0x03}},  // 998, SST39VF040/SST39SF040 V1.1
    {0x37, 0x0D, 0x03, 0x1C, {0x00, 0x02}},  // 796, AMIC A290021 Top V1.0
    {0xBF, 0xB6, 0x02, 0xB6, {0x00, 0x02}},  // 694, code of entry 8
    {0xBF, 0xD6, 0x02, 0xB6, {0x00, 0x02}},  // 694, SST39SF020 V1.1 for one drive model
    {0xDA, 0xB5, 0x02, 0xBA, {0x00, 0x02}},  // 698, W39L020 V1.1 for one drive model
}};
// clang-format on

// The two predicates below name entries by index because a six-byte entry has
// no room to say so: its layout is the one the drive-side header reuses.
//
// Entries 2 and 7 have no code of their own: the chip IDs BF D6 and BF B6
// are programmed by one code, so each of those pairs lists both IDs over the
// code of the entry after it, and the running offset does not advance past
// them.
constexpr bool UsesNextEntryCode(std::size_t index) { return index == 2 || index == 7; }

// The pool holds each code once, in table order.
constexpr std::size_t TablePoolLength() {
  std::size_t length = 0;
  for (std::size_t index = 0; index < kProfileCount; ++index) {
    if (!UsesNextEntryCode(index)) length += kProfileTable[index].CodeLength();
  }
  return length;
}
inline constexpr std::size_t kProfilePoolLength = TablePoolLength();

// The 1,280-byte profiles (entries 2 to 4), whose transfer length counts the
// header inside the code length (only the code's zero tail is left unsent).
constexpr bool IsFixedSizeProfile(std::size_t index) { return index >= 2 && index <= 4; }

struct ProfileLookup {
  bool matched = false;
  std::size_t index = kProfileCount;  // kProfileCount when nothing matched
  // Pool offset of the matched entry's code; without a match, the running
  // offset after the last entry.
  std::int32_t poolOffset = 0;
};

// Searches the table for the flash chip ID (the first four bytes of the
// drive's read-flash-ID answer). The variant bytes take part only when
// compareVariant is set (extended-id images).
constexpr ProfileLookup FindFlashProfile(std::span<const std::uint8_t, kFlashIdBytesUsed> chipId,
                                         bool compareVariant) {
  ProfileLookup lookup;
  for (std::size_t index = 0; index < kProfileCount; ++index) {
    const FlashProfileEntry& entry = kProfileTable[index];
    const bool idMatches = entry.manufacturer == chipId[0] && entry.device == chipId[1];
    const bool variantMatches =
        !compareVariant || (entry.variant[0] == chipId[2] && entry.variant[1] == chipId[3]);
    if (idMatches && variantMatches) {
      lookup.matched = true;
      lookup.index = index;
      return lookup;
    }
    if (!UsesNextEntryCode(index)) {
      lookup.poolOffset += entry.CodeLength();
    }
  }
  return lookup;
}

namespace profile_table_checks {
constexpr bool SharedCodesHaveEqualLengths() {
  for (std::size_t index = 0; index + 1 < kProfileCount; ++index) {
    if (UsesNextEntryCode(index) &&
        kProfileTable[index].CodeLength() != kProfileTable[index + 1].CodeLength()) {
      return false;
    }
  }
  return true;
}
constexpr std::array<std::uint8_t, kFlashIdBytesUsed> kAbsentChip = {0xFF, 0xFF, 0xFF, 0xFF};
}  // namespace profile_table_checks

static_assert(profile_table_checks::SharedCodesHaveEqualLengths(),
              "an entry that borrows the next code must have that code's length");
static_assert(FindFlashProfile(profile_table_checks::kAbsentChip, true).poolOffset ==
                  static_cast<std::int32_t>(kProfilePoolLength),
              "a lookup without a match must end at the pool's end");
