#include "catalogue/crc24.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Values any OpenPGP CRC-24 gives: no bytes leave the initial value, and the
// catalogue's check input "123456789".
TEST(Crc24, KnownValues) {
  const std::pair<std::string, std::uint32_t> cases[] = {
      {"", 0xB704CE},
      {"123456789", 0x21CF02},
  };
  for (const auto& [text, crc] : cases) {
    EXPECT_EQ(Crc24(reinterpret_cast<const unsigned char*>(text.data()), text.size()), crc)
        << '"' << text << '"';
  }
}

// The flasher's checksum runs over the record body and the image region as
// pieces: every split gives the CRC of the bytes run together.
TEST(Crc24, PiecesGiveTheCrcOfTheWhole) {
  const std::string text = "123456789";
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t split = 0; split <= text.size(); ++split) {
    EXPECT_EQ(Crc24Continue(Crc24(bytes, split), bytes + split, text.size() - split), 0x21CF02u)
        << split;
  }
}

}  // namespace
