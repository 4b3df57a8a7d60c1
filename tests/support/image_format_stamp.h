// Gives a test image exactly the format signature it asks for: every place
// a signature could stand is cleared first, so the image's own bytes never
// decide its format by chance.
#pragma once

#include <cstddef>
#include <span>

#include "catalogue/image_format.h"

template <typename Byte, std::size_t Extent>
void StampFormat(std::span<Byte, Extent> image, ImageFormat format) {
  for (const FormatSignature& place : kFormatSignatures) {
    if (place.offset + 1 < image.size()) image[place.offset + 1] = Byte{0};
  }
  if (format == ImageFormat::Plain) return;
  // The first place the detection tries for this format.
  for (const FormatSignature& place : kFormatSignatures) {
    if (place.format != format) continue;
    image[place.offset] = static_cast<Byte>(kFormatSignatureBytes[0]);
    image[place.offset + 1] = static_cast<Byte>(kFormatSignatureBytes[1]);
    return;
  }
}
