#include "text/gbk_converter.h"

#include <gtest/gtest.h>

namespace wenlei {
namespace {

class GbkConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    converter_ = GbkConverter::Open(&error);
    ASSERT_NE(converter_, nullptr) << error;
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

}  // namespace
}  // namespace wenlei
