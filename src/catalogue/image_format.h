// The three ways a firmware image asks to be flashed, told apart by a
// 05 80 signature at fixed offsets of the image region.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "catalogue/embedded_block.h"

enum class ImageFormat {
  Plain,          // no flash profile, no critical entry
  CriticalEntry,  // profile matched on 2 ID bytes, critical-entry command after the image
  ExtendedId,     // profile matched on 4 ID bytes, no critical entry
};

struct FormatSignature {
  std::size_t offset;  // into the image region
  ImageFormat format;
};

// Where each image family carries the signature, in the order they are
// tried; the first that holds decides. The extended-id places come first, so
// an image that also carries the signature at 0x1100 is an extended-id image.
inline constexpr std::array<FormatSignature, 4> kFormatSignatures = {{
    {0x4000, ImageFormat::ExtendedId},
    {0x4008, ImageFormat::ExtendedId},
    {0x14000, ImageFormat::ExtendedId},
    {0x1100, ImageFormat::CriticalEntry},
}};
inline constexpr std::array<unsigned char, 2> kFormatSignatureBytes = {0x05, 0x80};

// The format of the image in `region`. The offsets address the region, not
// the image's own length: an image shorter than an offset is classified by
// the region's bytes there, as flashers already built rely on.
ImageFormat DetectImageFormat(std::span<const unsigned char, kImageCapacity> region);
