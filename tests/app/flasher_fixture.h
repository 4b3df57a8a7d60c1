// A built flasher's block for a family drive, and a simulated machine that
// holds such drives.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "catalogue/embedded_block.h"
#include "form_harness.h"
#include "sim/sim_transport.h"
#include "support/image_format_stamp.h"
#include "support/sample_drive.h"

inline sim::DriveConfig FamilyDrive(const std::string& revision = "AB12") {
  sim::DriveConfig c;
  c.vendor = kFamilyVendor;
  c.product = kFamilyProduct;
  c.revision = revision;
  c.revisionAfterFlash = kFamilyRevisionAfterFlash;
  c.mediumPresent = false;
  return c;
}

// Stores the checksum of the block's record and image region, as the builder does.
inline void SealImage(EmbeddedBlock& b) {
  StoreImageCrc(RecordChecksum(RecordBody(b), std::span(b.image)), b.imageCrc);
}

// A flasher block for the family: image of `imageSize` bytes, with the
// signature of `format` in its region, sealed with its checksum.
inline void MakeFlasher(EmbeddedBlock& b, std::uint32_t imageSize, ImageFormat format,
                        const std::string& note = "") {
  SetField(b, RecordField::Model, "DVD-616");
  SetField(b, RecordField::Inquiry10, kFamilyInquiry);
  SetField(b, RecordField::FwRange10, "AB10-AB1Z");
  SetField(b, RecordField::Inquiry20, "-");
  SetField(b, RecordField::FwRange20, "----");
  SetField(b, RecordField::Inquiry30, "-");
  SetField(b, RecordField::FwRange30, "----");
  SetField(b, RecordField::Vendor, "Acme");
  SetField(b, RecordField::Note, note);
  std::memcpy(b.binName, "AB15.", 5);
  SetBinSize(b, imageSize);
  for (std::size_t i = 0; i < kImageCapacity; ++i)
    b.image[i] = static_cast<unsigned char>(i * 13 + (i >> 9));
  b.image[0] = 'F';
  StampFormat(std::span(b.image), format);
  SealImage(b);
}

inline std::string Hex(std::uint32_t v) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(v & 0xFF));
  return text;
}

// "3B 05 01 O2 O1 O0 L2 L1 L0 C 00 00 out|in length" for a buffer command.
inline std::string BufferCommand(std::uint8_t op, std::uint8_t mode, std::uint32_t offset,
                                 std::uint32_t cdbLength, std::uint8_t control, const char* dir,
                                 std::uint32_t length) {
  return Hex(op) + " " + Hex(mode) + " 01 " + Hex(offset >> 16) + " " + Hex(offset >> 8) + " " +
         Hex(offset) + " " + Hex(cdbLength >> 16) + " " + Hex(cdbLength >> 8) + " " +
         Hex(cdbLength) + " " + Hex(control) + " 00 00 " + dir + " " + std::to_string(length);
}

inline const char* const kInquiry = "12 00 00 00 80 00 00 00 00 00 00 00 in 128";
inline const std::vector<std::string> kReadinessWait = {
    "1B 00 00 00 03 00 00 00 00 00 00 00 in 0", "00 00 00 00 00 00 00 00 00 00 00 00 in 0",
    "4E 00 00 00 00 00 00 00 00 00 00 00 in 0", "4E 00 00 00 00 00 00 00 00 00 00 00 in 0",
    "1B 00 00 00 00 00 00 00 00 00 00 00 in 0"};

inline std::vector<std::string> Grep(const std::vector<std::string>& lines,
                                     const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    if (l.rfind(prefix, 0) == 0) out.push_back(l.substr(prefix.size()));
  }
  return out;
}
