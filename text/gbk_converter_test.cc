#include "text/gbk_converter.h"

#include <gtest/gtest.h>

#include "text/gbk_form.h"

namespace wenlei {
namespace {

void AppendUtf8Character(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
    return;
  }
  const int length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  const unsigned char leads[] = {0, 0, 0xC0, 0xE0, 0xF0};
  out->push_back(static_cast<char>(leads[length] | (c >> (6 * (length - 1)))));
  for (int i = length - 2; i >= 0; --i) out->push_back(static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F)));
}

class GbkConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const Status opened = GbkConverter::Open(&converter_);
    ASSERT_TRUE(opened.ok()) << opened.message();
  }

  std::unique_ptr<GbkConverter> converter_;
};

TEST_F(GbkConverterTest, ConvertsChineseAndAsciiToGbk) {
  std::string gbk;
  EXPECT_EQ(converter_->AppendGbk("数据 Del，", &gbk), 0u);
  EXPECT_EQ(gbk, "\xCA\xFD\xBE\xDD Del\xA3\xAC");
}

TEST_F(GbkConverterTest, LeavesOutWholeCharactersGbkCannotEncodeAndCountsThem) {
  std::string gbk;
  // Two emoji and a Hangul syllable; nothing of them may survive in part.
  EXPECT_EQ(converter_->AppendGbk("数\xF0\x9F\x99\x82据\xF0\x9F\x98\x80 \xEA\xB0\x80", &gbk), 3u);
  EXPECT_EQ(gbk, "\xCA\xFD\xBE\xDD ");

  gbk.clear();
  EXPECT_EQ(converter_->AppendGbk("\xF0\x9F\x99\x82", &gbk), 1u);
  EXPECT_EQ(gbk, "");
}

TEST_F(GbkConverterTest, ConvertsTextLongerThanOneBuffer) {
  std::string utf8, gbk, expected;
  for (int i = 0; i < 5000; ++i) {
    utf8 += "数据\xF0\x9F\x99\x82";
    expected += "\xCA\xFD\xBE\xDD";
  }
  EXPECT_EQ(converter_->AppendGbk(utf8, &gbk), 5000u);
  EXPECT_EQ(gbk, expected);
}

TEST_F(GbkConverterTest, ConvertsGbkBackToUtf8) {
  std::string utf8;
  EXPECT_EQ(converter_->AppendUtf8("\xCE\xC4\xB1\xBE ok", &utf8), std::nullopt);
  EXPECT_EQ(utf8, "文本 ok");
}

TEST_F(GbkConverterTest, ReportsTheFirstInvalidGbkByteAndReplacesIt) {
  std::string utf8;
  EXPECT_EQ(converter_->AppendUtf8("\xCA\xFD\xFF\xBE\xDD", &utf8), 2u);
  EXPECT_EQ(utf8, "数\xEF\xBF\xBD据");

  utf8.clear();
  EXPECT_EQ(converter_->AppendUtf8("ab\xCA", &utf8), 2u);  // a lead byte cut short
  EXPECT_EQ(utf8, "ab\xEF\xBF\xBD");
}

// The GBK the converter writes passes the GBK check of words given as GBK,
// and converts back to the same character: both doors read a text alike.
// Only ASCII and the euro sign (0x80) come out as one byte.
TEST_F(GbkConverterTest, EveryCharacterConvertedPassesTheGbkCheck) {
  std::size_t oneByte = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::string utf8, gbk, back;
    AppendUtf8Character(c, &utf8);
    if (converter_->AppendGbk(utf8, &gbk) != 0 || gbk.empty()) continue;
    ASSERT_EQ(FindMalformedGbk(gbk), std::nullopt) << "U+" << std::hex << static_cast<unsigned>(c);
    ASSERT_EQ(converter_->AppendUtf8(gbk, &back), std::nullopt);
    ASSERT_EQ(back, utf8) << "U+" << std::hex << static_cast<unsigned>(c);
    if (gbk.size() == 1) ++oneByte;
  }
  EXPECT_EQ(oneByte, 129u);
}

}  // namespace
}  // namespace wenlei
