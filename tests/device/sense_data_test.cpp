// Sense decoding shared by every transport path.
#include "device/sense_data.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SenseData, DecodesBothFormatsAndNeverReadsPastTheBytesGiven) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> sense;
    bool valid;
    std::uint8_t key, asc, ascq;
  };
  std::vector<std::uint8_t> fixed(18, 0);
  fixed[0] = 0xF0;  // valid bit set: the response code is the low seven bits
  fixed[2] = 0x25;  // ILI with ILLEGAL REQUEST, taken whole
  fixed[12] = 0x24;
  fixed[13] = 0x01;
  std::vector<std::uint8_t> deferred = fixed;
  deferred[0] = 0x71;
  const std::vector<std::uint8_t> descriptorIli = {0x72, 0x05, 0x24, 0x00, 0, 0,
                                                   0,    4,    0x04, 0x02, 0, 0x20};
  // A descriptor list that claims more bytes than there are.
  const std::vector<std::uint8_t> descriptorCut = {0x73, 0x02, 0x04, 0x01, 0, 0, 0, 200, 0x04, 9};
  const Case cases[] = {
      {"fixed, flag bits kept", fixed, true, 0x25, 0x24, 0x01},
      {"fixed deferred", deferred, true, 0x25, 0x24, 0x01},
      {"fixed cut after the key byte", {0x70, 0, 0x02}, true, 0x02, 0, 0},
      {"descriptor with ILI folded in", descriptorIli, true, 0x25, 0x24, 0x00},
      {"descriptor list cut short", descriptorCut, true, 0x02, 0x04, 0x01},
      {"vendor-specific response code", {0x7F, 0, 0x05}, false, 0, 0, 0},
      {"nothing", {}, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const DecodedSense d = DecodeSense(c.sense);
    EXPECT_EQ(d.valid, c.valid);
    EXPECT_EQ(d.key, c.key);
    EXPECT_EQ(d.asc, c.asc);
    EXPECT_EQ(d.ascq, c.ascq);
  }
}

}  // namespace
