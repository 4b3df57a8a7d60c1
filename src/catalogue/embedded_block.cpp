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

bool ModelRecordView::ImageIntact() const {
  const std::uint32_t size = BinSize();
  if (size > kImageCapacity) return false;
  const std::uint32_t stored = ImageCrc();
  return stored == kNoImageCrc || stored == Crc24(block_.image, size);
}

void StoreImageCrc(std::uint32_t crc, unsigned char (&bytes)[kImageCrcSize]) {
  for (std::size_t i = 0; i < kImageCrcSize; ++i)
    bytes[i] = static_cast<unsigned char>(crc >> (8 * i));
}
