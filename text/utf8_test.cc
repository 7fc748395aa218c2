#include "text/utf8.h"

#include <gtest/gtest.h>

namespace wenlei {
namespace {

TEST(Utf8Test, WellFormedTextHasNoInvalidByte) {
  EXPECT_EQ(FindInvalidUtf8(""), std::nullopt);
  EXPECT_EQ(FindInvalidUtf8("plain ASCII"), std::nullopt);
  EXPECT_EQ(FindInvalidUtf8("数据透视图 Del 键 \xF0\x9F\x99\x82 €"), std::nullopt);
  EXPECT_EQ(FindInvalidUtf8("\xF4\x8F\xBF\xBF"), std::nullopt);  // U+10FFFF
}

TEST(Utf8Test, ReportsTheOffsetWhereTheFirstMalformedSequenceStarts) {
  EXPECT_EQ(FindInvalidUtf8("ab\xFF"), 2u);                 // never a UTF-8 byte
  EXPECT_EQ(FindInvalidUtf8("数\x80据"), 3u);               // stray continuation
  EXPECT_EQ(FindInvalidUtf8("数据\xE6\x95"), 6u);           // cut short at the end
  EXPECT_EQ(FindInvalidUtf8("a\xE6\x95" "b"), 1u);          // cut short in the middle
  EXPECT_EQ(FindInvalidUtf8("\xC0\x80"), 0u);               // overlong NUL
  EXPECT_EQ(FindInvalidUtf8("x\xE0\x80\xAF"), 1u);          // overlong '/'
  EXPECT_EQ(FindInvalidUtf8("\xED\xA0\x80"), 0u);           // surrogate U+D800
  EXPECT_EQ(FindInvalidUtf8("\xF4\x90\x80\x80"), 0u);       // above U+10FFFF
  EXPECT_EQ(FindInvalidUtf8("ok\xF5\x80\x80\x80"), 2u);
  // GBK bytes are not UTF-8: "数据" in GBK.
  EXPECT_EQ(FindInvalidUtf8("\xCA\xFD\xBE\xDD"), 0u);
}

TEST(Utf8Test, DecodesCharactersAndStepsOneByteOverMalformedOnes) {
  DecodedCharacter han = DecodeCharacter("数", 0);
  EXPECT_TRUE(han.valid);
  EXPECT_EQ(han.codePoint, U'数');
  EXPECT_EQ(han.length, 3u);
  DecodedCharacter emoji = DecodeCharacter("\xF0\x9F\x99\x82", 0);
  EXPECT_EQ(emoji.codePoint, 0x1F642u);
  EXPECT_EQ(emoji.length, 4u);
  DecodedCharacter broken = DecodeCharacter("\xE6\x95", 0);
  EXPECT_FALSE(broken.valid);
  EXPECT_EQ(broken.length, 1u);
}

TEST(Utf8Test, SeparatorsAreWhiteSpaceAndInvisibleMarks) {
  for (char32_t c : {U' ', U'\t', U'\n', U'\r', U'\u3000', U'\u00A0', U'\u2003', U'\uFEFF',
                     U'\u200B'}) {
    EXPECT_TRUE(IsWordSeparator(c)) << static_cast<unsigned>(c);
  }
  for (char32_t c : {U'a', U'数', U'，', U'。', U'_', U'\u200D'}) {
    EXPECT_FALSE(IsWordSeparator(c)) << static_cast<unsigned>(c);
  }
}

}  // namespace
}  // namespace wenlei
