# Turns the profile pool into a C++ source at build time, so a replacement
# pool of the same layout only needs to be dropped over profile_pool.bin.
#
# cmake -DPOOL_FILE=<bin> -DPOOL_LENGTH=<bytes> -DOUTPUT_FILE=<cpp> -P embed_profile_pool.cmake

file(SIZE "${POOL_FILE}" pool_size)
if(NOT pool_size EQUAL POOL_LENGTH)
  message(FATAL_ERROR
    "${POOL_FILE} holds ${pool_size} bytes; the flash profile pool must be exactly "
    "${POOL_LENGTH} bytes (the table's code lengths depend on it).")
endif()

file(READ "${POOL_FILE}" pool_hex HEX)
# 16 bytes a line keeps the generated file readable in a diff.
string(REPEAT "[0-9a-f]" 32 line_of_hex)
string(REGEX REPLACE "(${line_of_hex})" "\\1\n" pool_hex "${pool_hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," pool_bytes "${pool_hex}")

file(WRITE "${OUTPUT_FILE}.tmp"
"// Generated from profile_pool.bin by embed_profile_pool.cmake. Do not edit.
#include <array>
#include <cstdint>

#include \"protocol/profile_pool.h\"

namespace {
constexpr std::array<std::uint8_t, kProfilePoolLength> kPoolBytes = {
${pool_bytes}
};
}  // namespace

std::span<const std::uint8_t, kProfilePoolLength> ProfilePool() { return kPoolBytes; }
")
# Only touch the output when it changed, so an unchanged pool recompiles nothing.
file(COPY_FILE "${OUTPUT_FILE}.tmp" "${OUTPUT_FILE}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT_FILE}.tmp")
