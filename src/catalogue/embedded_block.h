// The block every copy of the executable carries in its initialized data: a
// marker, the model record body and the image region. The builder patches it
// in a copy of the file; a flasher reads it in place at start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

inline constexpr std::size_t kMarkerSize = 15;  // 14 printable characters and a NUL
inline constexpr std::size_t kRecordFieldSize = 25;
inline constexpr std::size_t kBinNameSize = 5;
// The record's CRC-24, least significant byte first (see RecordChecksum).
// Builders that predate it leave the bytes zero, which therefore means "no
// checksum": a real CRC of zero is indistinguishable and goes unchecked, a 1
// in 2^24 chance.
inline constexpr std::size_t kImageCrcSize = 3;
inline constexpr std::uint32_t kNoImageCrc = 0;
inline constexpr std::size_t kRecordBodySize = 237;
inline constexpr std::size_t kImageCapacity = 0x50000;  // 327,680 bytes
inline constexpr std::size_t kEmbeddedBlockSize = 327932;
inline constexpr char kKeyWord[4] = {'Z', 'E', 'D', 'A'};  // unbuilt image region

// A model's fields: the record's text fields in the order they are stored
// and written, then the file mask, which the description file gives every
// model but which never reaches the record.
enum class RecordField : std::size_t {
  Model,
  Inquiry10,
  FwRange10,
  Inquiry20,
  FwRange20,
  Inquiry30,
  FwRange30,
  Vendor,
  Note,
  BINMask,
};
inline constexpr std::size_t kRecordTextFields = static_cast<std::size_t>(RecordField::BINMask);
inline constexpr std::size_t kModelFieldCount = kRecordTextFields + 1;
static_assert(kRecordTextFields == 9);

struct EmbeddedBlock {
  char marker[kMarkerSize];
  char fields[kRecordTextFields][kRecordFieldSize];
  unsigned char binName[kBinNameSize];
  unsigned char imageCrc[kImageCrcSize];  // after BINName, before BINSize
  unsigned char binSize[4];               // little-endian
  unsigned char image[kImageCapacity];
};

static_assert(sizeof(EmbeddedBlock) == kEmbeddedBlockSize);
static_assert(offsetof(EmbeddedBlock, fields) == kMarkerSize);
static_assert(offsetof(EmbeddedBlock, binName) == 240);
static_assert(offsetof(EmbeddedBlock, imageCrc) == 245 && kImageCrcSize == 3);
static_assert(offsetof(EmbeddedBlock, binSize) == 248);
static_assert(offsetof(EmbeddedBlock, image) == kMarkerSize + kRecordBodySize);
// Where the checksum's bytes lie within the record body.
inline constexpr std::size_t kBodyCrcAt = offsetof(EmbeddedBlock, imageCrc) - kMarkerSize;
static_assert(offsetof(EmbeddedBlock, image) % 4 == 0 && offsetof(EmbeddedBlock, binSize) % 4 == 0);

// Read-only view of a block: the running program's own, or a test's.
class ModelRecordView {
 public:
  explicit ModelRecordView(const EmbeddedBlock& block) : block_(block) {}

  bool IsBuilder() const;                      // image region still starts with the key word
  std::string Field(RecordField field) const;  // text up to the NUL, within the field
  // The field's text from byte `from` on, within the field.
  std::string FieldFrom(RecordField field, std::size_t from) const;
  const char* RawField(RecordField field) const;  // BINMask reads as an empty field
  std::string BinNameRevision() const;            // "%4.4s" of BINName
  std::uint32_t BinSize() const;
  bool FlashAll() const;           // Note starts with the nine bytes "FLASH-ALL"
  std::uint32_t ImageCrc() const;  // as stored; kNoImageCrc when the builder wrote none
  // The record body and the image region still give the stored checksum, or
  // none is stored. False for a BINSize beyond the region.
  bool RecordIntact() const;
  const unsigned char* Image() const { return block_.image; }
  const char* Marker() const { return block_.marker; }

 private:
  const EmbeddedBlock& block_;
};

// The checksum a flasher carries: the CRC-24 of its record body, with the
// three checksum bytes taken as zero, followed by its whole image region.
// Everything that decides which drive is written and what it receives lies in
// these bytes: the identifications and ranges, BINSize, the pieces sent
// (whole 16 KiB pieces, so bytes behind the image reach the drive too) and
// the format signatures, some of which lie past a short image.
std::uint32_t RecordChecksum(std::span<const unsigned char, kRecordBodySize> body,
                             std::span<const unsigned char, kImageCapacity> region);

// The body of `block` as the checksum reads it.
std::span<const unsigned char, kRecordBodySize> RecordBody(const EmbeddedBlock& block);

// The three CRC bytes as the record stores them.
void StoreImageCrc(std::uint32_t crc, unsigned char (&bytes)[kImageCrcSize]);

// The running program's own block. Its reads are hidden from the optimiser,
// so a patched copy of the file really is read as patched.
const EmbeddedBlock& OwnEmbeddedBlock();
