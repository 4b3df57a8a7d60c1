// Every buffer the device module hands to a drive starts on a page, which
// meets any adapter's alignment requirement.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "device/cddrive.h"
#include "device/page_aligned.h"
#include "device/testing/module_view.h"
#include "sim_fixture.h"

namespace {

bool OnAPage(const void* address) {
  return reinterpret_cast<std::uintptr_t>(address) % kDriveBufferAlignment == 0;
}

TEST(PageAlignedAllocator, EveryLengthStartsOnAPageAndIsWritableToItsEnd) {
  for (const std::size_t length : {std::size_t{1}, std::size_t{128}, std::size_t{16384}}) {
    // Allocated one after another, so a slip would show in one of them.
    std::vector<std::vector<std::uint8_t, PageAlignedAllocator<std::uint8_t>>> buffers;
    for (int k = 0; k < 4; ++k) {
      buffers.emplace_back(length, static_cast<std::uint8_t>(k));
      EXPECT_TRUE(OnAPage(buffers.back().data())) << length;
      buffers.back().back() = 0xA5;
    }
  }
}

using DriveBufferAlignment = SimFixture;

TEST_F(DriveBufferAlignment, TheInternalAndInquiryBuffersStartOnAPage) {
  machine.AddDrive();
  CDDrive drive(' ', 0, 0, 0);
  ASSERT_EQ(CDDrive::GetStatus(), kStatusOpened);
  EXPECT_TRUE(OnAPage(CDDrive::GetBuffer()));
  EXPECT_TRUE(OnAPage(Module().inquiry.data()));
}

}  // namespace
