// The drive-side code of the flash profiles, back to back in table order.
//
// The bytes come from profile_pool.bin, embedded at build time; the build
// refuses a file whose length is not the table's kProfilePoolLength.
#pragma once

#include <cstdint>
#include <span>

#include "protocol/profile_table.h"

std::span<const std::uint8_t, kProfilePoolLength> ProfilePool();
