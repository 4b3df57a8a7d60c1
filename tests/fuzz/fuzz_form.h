// A form over a fuzzed block, with a host (support/recording_host.h) that
// keeps every box it was asked to show and answers the warning as told.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/flash_form.h"
#include "catalogue/embedded_block.h"
#include "device/cddrive.h"
#include "support/recording_host.h"

namespace fuzz {

// Nothing of the form may reach the file system: the paths lead nowhere.
inline FormEnvironment NowhereEnvironment(const EmbeddedBlock& block) {
  FormEnvironment env;
  env.block = &block;
  env.executablePath = "/nonexistent/fuzz/flash";
  env.workingDirectory = "/nonexistent/fuzz";
  env.restartSystem = []() -> bool { __builtin_trap(); };  // never asked for at start-up
  env.sleep = [](unsigned) {};
  return env;
}

// Fills `block` (allocated alone, so the sanitizer sees any read past it).
// `record` fills the marker and the record from the start; `image` is
// repeated over the whole image region (zeros when empty).
inline void FillBlock(EmbeddedBlock& block, std::span<const std::uint8_t> record,
                      std::span<const std::uint8_t> image) {
  auto* raw = reinterpret_cast<std::uint8_t*>(&block);
  constexpr std::size_t kImageAt = offsetof(EmbeddedBlock, image);
  std::memset(raw, 0, kImageAt);
  if (!record.empty()) std::memcpy(raw, record.data(), std::min(record.size(), kImageAt));
  if (image.empty()) {
    std::memset(block.image, 0, kImageCapacity);
    return;
  }
  std::size_t filled = std::min(image.size(), kImageCapacity);
  std::memcpy(block.image, image.data(), filled);
  while (filled < kImageCapacity) {  // doubling the copied part keeps this cheap
    const std::size_t more = std::min(filled, kImageCapacity - filled);
    std::memcpy(block.image + filled, block.image, more);
    filled += more;
  }
}

// One block for the whole run: allocating 320 KiB per input costs more than the input.
inline EmbeddedBlock& SharedBlock() {
  static EmbeddedBlock* const block = new EmbeddedBlock{};
  return *block;
}

}  // namespace fuzz
