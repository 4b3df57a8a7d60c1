#include "catalogue/image_format.h"

static_assert(
    [] {
      for (const FormatSignature& signature : kFormatSignatures) {
        if (signature.offset + kFormatSignatureBytes.size() > kImageCapacity) return false;
      }
      return true;
    }(),
    "every signature lies inside the image region");

ImageFormat DetectImageFormat(std::span<const unsigned char, kImageCapacity> region) {
  for (const FormatSignature& signature : kFormatSignatures) {
    if (region[signature.offset] == kFormatSignatureBytes[0] &&
        region[signature.offset + 1] == kFormatSignatureBytes[1]) {
      return signature.format;
    }
  }
  return ImageFormat::Plain;
}
