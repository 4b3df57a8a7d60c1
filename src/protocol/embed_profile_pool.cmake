# Turns the profile pool into a C++ source at build time, so a replacement
# pool of the same layout only needs to be dropped over profile_pool.bin.
#
# The length is checked where it is defined, by the compiler against the
# profile table (profile_table.h), so a pool of the wrong length stops the
# build of the generated source.
#
# cmake -DPOOL_FILE=<bin> -DOUTPUT_FILE=<cpp> -P embed_profile_pool.cmake

file(READ "${POOL_FILE}" pool_hex HEX)
# 16 bytes a line keeps the generated file readable in a diff.
string(REPEAT "[0-9a-f]" 32 line_of_hex)
string(REGEX REPLACE "(${line_of_hex})" "\\1\n" pool_hex "${pool_hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," pool_bytes "${pool_hex}")

file(WRITE "${OUTPUT_FILE}.tmp"
"// Generated from profile_pool.bin by embed_profile_pool.cmake. Do not edit.
#include <cstdint>

#include \"protocol/profile_pool.h\"

namespace {
constexpr std::uint8_t kPoolBytes[] = {
${pool_bytes}
};
static_assert(sizeof(kPoolBytes) == kProfilePoolLength,
              \"profile_pool.bin must hold exactly the code lengths of the profile table\");
}  // namespace

std::span<const std::uint8_t, kProfilePoolLength> ProfilePool() {
  return std::span<const std::uint8_t, kProfilePoolLength>(kPoolBytes, kProfilePoolLength);
}
")
# Only touch the output when it changed, so an unchanged pool recompiles nothing.
file(COPY_FILE "${OUTPUT_FILE}.tmp" "${OUTPUT_FILE}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT_FILE}.tmp")
