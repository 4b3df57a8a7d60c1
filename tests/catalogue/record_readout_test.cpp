// Record fields are read within their 25 bytes and cut or padded to fixed
// widths; the texts compared later depend on it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "catalogue/embedded_block.h"
#include "common/fixed_text.h"

namespace {

TEST(FixedText, CutsAndPadsLikeWidthLimitedFormats) {
  struct Case {
    const char* what;
    std::string actual, expected;
  };
  const Case cases[] = {
      {"%9.9s short", fixed_text::RightAligned("A1Z", 9, 9), "      A1Z"},
      {"%9.9s long", fixed_text::RightAligned("AB10-AB1Z-X", 9, 9), "AB10-AB1Z"},
      {"%4.4s empty", fixed_text::RightAligned("", 4, 4), "    "},
      {"%4.4s low bound", fixed_text::RightAligned("AB10-AB1Z", 4, 4), "AB10"},
      {"%-24.24s short", fixed_text::LeftAligned("ACME", 24, 24), "ACME" + std::string(20, ' ')},
      {"%-24.24s long", fixed_text::LeftAligned(std::string(30, 'x'), 24, 24),
       std::string(24, 'x')},
      {"%.24s", fixed_text::Cut(std::string(30, 'm'), 24), std::string(24, 'm')},
      {"NUL ends the text", fixed_text::Cut(std::string("ab\0cd", 5), 24), "ab"},
      {"upper case is ASCII only", fixed_text::UpperAscii("acMe-\xE9"), "ACME-\xE9"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
}

class RecordView : public ::testing::Test {
 protected:
  RecordView() : block(std::make_unique<EmbeddedBlock>()), view(*block) {
    std::memset(block.get(), 0, sizeof(EmbeddedBlock));
  }
  void Put(RecordField f, const void* bytes, std::size_t n) {
    std::memcpy(block->fields[static_cast<std::size_t>(f)], bytes, n);
  }
  std::unique_ptr<EmbeddedBlock> block;
  ModelRecordView view;
};

TEST_F(RecordView, FieldsNeverLeaveTheirBytes) {
  Put(RecordField::Model, std::string(25, 'M').data(), 25);  // no NUL at all
  Put(RecordField::Inquiry10, "NEXT", 4);
  EXPECT_EQ(view.Field(RecordField::Model), std::string(25, 'M'));
  Put(RecordField::FwRange20, "AB1", 3);  // shorter than the high bound's start
  EXPECT_EQ(view.FieldFrom(RecordField::FwRange20, 5), "");
  Put(RecordField::FwRange30, "AB10-AB1Z", 9);
  EXPECT_EQ(view.FieldFrom(RecordField::FwRange30, 5), "AB1Z");
  EXPECT_EQ(view.FieldFrom(RecordField::FwRange30, 25), "");
}

TEST_F(RecordView, BinNameSizeAndFlashAll) {
  std::memcpy(block->binName, "ABCDE", 5);  // five characters: no NUL in the field
  block->imageCrc[0] = 'X';                 // the next field is not read either
  EXPECT_EQ(view.BinNameRevision(), "ABCD");
  std::memcpy(block->binName, "AB\0\0\0", 5);
  EXPECT_EQ(view.BinNameRevision(), "  AB");

  const unsigned char size[4] = {0x04, 0x03, 0x02, 0x01};
  std::memcpy(block->binSize, size, 4);
  EXPECT_EQ(view.BinSize(), 0x01020304u);

  const std::pair<const char*, bool> notes[] = {
      {"FLASH-ALL", true}, {"FLASH-ALL and more", true}, {"flash-all", false}, {"FLASH-AL", false}};
  for (const auto& [note, flashAll] : notes) {
    std::memset(block->fields[static_cast<std::size_t>(RecordField::Note)], 0, kRecordFieldSize);
    Put(RecordField::Note, note, std::strlen(note));
    EXPECT_EQ(view.FlashAll(), flashAll) << note;
  }
}

TEST_F(RecordView, KeyWordDecidesTheMode) {
  EXPECT_FALSE(view.IsBuilder());
  std::memcpy(block->image, "ZEDA", 4);
  EXPECT_TRUE(view.IsBuilder());
  std::memcpy(block->image, "ZEDa", 4);
  EXPECT_FALSE(view.IsBuilder());
}

}  // namespace
