// The drive-side code of the flash profiles, back to back in table order.
//
// The bytes come from profile_pool.bin, embedded at build time; the build
// refuses a file of any other length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::size_t kProfilePoolLength = 6512;

std::span<const std::uint8_t, kProfilePoolLength> ProfilePool();
