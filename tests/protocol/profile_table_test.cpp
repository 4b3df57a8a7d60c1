#include "protocol/profile_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "protocol/profile_pool.h"

namespace {

struct EntryCase {
  std::size_t index;
  std::uint16_t codeLength;
  std::int32_t poolOffset;
};

// The layout the drive-side profiles were cut to; a replacement pool must keep it.
constexpr std::array<EntryCase, kProfileCount> kLayout = {{
    {0, 314, 0},
    {1, 452, 314},
    {2, 1280, 766},
    {3, 1280, 766},
    {4, 1280, 2046},
    {5, 998, 3326},
    {6, 796, 4324},
    {7, 694, 5120},
    {8, 694, 5120},
    {9, 698, 5814},
}};

std::array<std::uint8_t, 4> IdOf(std::size_t index) {
  const FlashProfileEntry& entry = kProfileTable[index];
  return {entry.manufacturer, entry.device, entry.variant[0], entry.variant[1]};
}

std::span<const std::uint8_t> CodeOf(const EntryCase& entry) {
  return std::span<const std::uint8_t>(ProfilePool())
      .subspan(static_cast<std::size_t>(entry.poolOffset), entry.codeLength);
}

TEST(ProfileTable, EveryEntryIsFoundAtItsPoolOffsetByItsFullId) {
  for (const EntryCase& expected : kLayout) {
    SCOPED_TRACE(expected.index);
    const ProfileLookup lookup = FindFlashProfile(IdOf(expected.index), true);
    ASSERT_TRUE(lookup.matched);
    EXPECT_EQ(lookup.index, expected.index);
    EXPECT_EQ(lookup.poolOffset, expected.poolOffset);
    EXPECT_EQ(kProfileTable[expected.index].CodeLength(), expected.codeLength);
  }
}

TEST(ProfileTable, TwoByteLookupTakesTheFirstEntryWithThatChip) {
  struct Case {
    std::array<std::uint8_t, 4> id;
    std::size_t index;
  };
  // Variant bytes that match no entry must not matter without the variant test;
  // entries 7 and 8 are shadowed by 3 and 2.
  const Case cases[] = {
      {{0xBF, 0xB6, 0x00, 0x02}, 3},
      {{0xBF, 0xD6, 0x00, 0x02}, 2},
      {{0xDA, 0xB5, 0x77, 0x77}, 9},
      {{0x37, 0x0D, 0x00, 0x00}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    const ProfileLookup lookup = FindFlashProfile(c.id, false);
    ASSERT_TRUE(lookup.matched);
    EXPECT_EQ(lookup.index, c.index);
  }
}

TEST(ProfileTable, UnknownChipMatchesNothingInEitherFormat) {
  const std::array<std::uint8_t, 4> absent = {0xBF, 0xB7, 0x00, 0x00};
  // Known chip, unknown variant: only the four-byte lookup passes it over.
  const std::array<std::uint8_t, 4> wrongVariant = {0x37, 0x8C, 0x00, 0x02};
  EXPECT_FALSE(FindFlashProfile(absent, false).matched);
  EXPECT_FALSE(FindFlashProfile(absent, true).matched);
  EXPECT_FALSE(FindFlashProfile(wrongVariant, true).matched);
  EXPECT_TRUE(FindFlashProfile(wrongVariant, false).matched);
}

TEST(ProfilePool, FixedSizeCodesEndInEightZeroBytes) {
  for (const std::size_t index : {2U, 3U, 4U}) {
    SCOPED_TRACE(index);
    ASSERT_TRUE(IsFixedSizeProfile(index));
    const auto code = CodeOf(kLayout[index]);
    EXPECT_TRUE(std::all_of(code.end() - 8, code.end(), [](std::uint8_t b) { return b == 0; }));
  }
  EXPECT_FALSE(IsFixedSizeProfile(1));
  EXPECT_FALSE(IsFixedSizeProfile(5));
}

TEST(ProfilePool, IdentificationTextsSitInTheirOwnCodeAndAreTerminated) {
  struct Case {
    std::size_t index;
    std::string_view text;  // drive-model texts: everything before the model name
  };
  const Case cases[] = {
      {3, "This profile is for SST39VF020/SST39SF020 V1.2"},
      {4, "This profile is for AMIC A29002 Top V1.2"},
      {5, "This profile is for SST39VF040/SST39SF040 V1.1"},
      {6, "This profile is for AMIC A290021 Top V1.0"},
      {8, "This profile is for SST39SF020 V1.1 in "},
      {9, "This profile is for W39L020 V1.1 in "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto code = CodeOf(kLayout[c.index]);
    const auto found = std::search(code.begin(), code.end(), c.text.begin(), c.text.end());
    ASSERT_NE(found, code.end());
    EXPECT_NE(std::find(found + static_cast<std::ptrdiff_t>(c.text.size()), code.end(), 0),
              code.end());
  }
  const std::string_view marker = "This profile is for ";
  for (const std::size_t index : {0U, 1U}) {
    const auto code = CodeOf(kLayout[index]);
    EXPECT_EQ(std::search(code.begin(), code.end(), marker.begin(), marker.end()), code.end());
  }
}

}  // namespace
