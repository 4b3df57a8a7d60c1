#include "catalogue/embedded_block.h"

#include <cstring>

#include "catalogue/crc24.h"
#include "common/fixed_text.h"

namespace {
constexpr char kFlashAll[] = "FLASH-ALL";
}

bool ModelRecordView::IsBuilder() const {
  return std::memcmp(block_.image, kKeyWord, sizeof kKeyWord) == 0;
}

const char* ModelRecordView::RawField(RecordField field) const {
  static constexpr char kNoField[kRecordFieldSize] = {};
  const auto index = static_cast<std::size_t>(field);
  return index < kRecordTextFields ? block_.fields[index] : kNoField;
}

std::string ModelRecordView::Field(RecordField field) const {
  return fixed_text::FromField(RawField(field), kRecordFieldSize);
}

std::string ModelRecordView::FieldFrom(RecordField field, std::size_t from) const {
  if (from >= kRecordFieldSize) return {};
  return fixed_text::FromField(RawField(field) + from, kRecordFieldSize - from);
}

std::string ModelRecordView::BinNameRevision() const {
  return fixed_text::RightAligned(
      fixed_text::FromField(reinterpret_cast<const char*>(block_.binName), kBinNameSize), 4, 4);
}

std::uint32_t ModelRecordView::BinSize() const {
  const unsigned char* b = block_.binSize;
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

bool ModelRecordView::FlashAll() const {
  return std::memcmp(RawField(RecordField::Note), kFlashAll, sizeof kFlashAll - 1) == 0;
}

std::uint32_t ModelRecordView::ImageCrc() const {
  const unsigned char* b = block_.imageCrc;
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16);
}

bool ModelRecordView::RecordIntact() const {
  if (BinSize() > kImageCapacity) return false;
  const std::uint32_t stored = ImageCrc();
  // A record that carries a checksum of the image alone, as the first
  // builders wrote it, does not match: it would let a flipped identification
  // or range through, so it is refused like any other damage.
  return stored == kNoImageCrc ||
         stored == RecordChecksum(::RecordBody(block_), std::span(block_.image));
}

std::uint32_t RecordChecksum(std::span<const unsigned char, kRecordBodySize> body,
                             std::span<const unsigned char, kImageCapacity> region) {
  static constexpr unsigned char kNoCrc[kImageCrcSize] = {};
  std::uint32_t crc = Crc24(body.data(), kBodyCrcAt);
  crc = Crc24Continue(crc, kNoCrc, kImageCrcSize);
  crc = Crc24Continue(crc, body.data() + kBodyCrcAt + kImageCrcSize,
                      kRecordBodySize - kBodyCrcAt - kImageCrcSize);
  return Crc24Continue(crc, region.data(), region.size());
}

std::span<const unsigned char, kRecordBodySize> RecordBody(const EmbeddedBlock& block) {
  return std::span<const unsigned char, kRecordBodySize>(
      reinterpret_cast<const unsigned char*>(&block) + kMarkerSize, kRecordBodySize);
}

void StoreImageCrc(std::uint32_t crc, unsigned char (&bytes)[kImageCrcSize]) {
  for (std::size_t i = 0; i < kImageCrcSize; ++i)
    bytes[i] = static_cast<unsigned char>(crc >> (8 * i));
}
