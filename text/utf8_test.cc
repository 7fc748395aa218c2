#include "text/utf8.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

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

// Lead bytes at the top of the three-byte range, where Chinese punctuation
// lives: 0xEE and 0xEF lead characters like any other, 0xF0 needs four bytes.
TEST(Utf8Test, ThreeByteCharactersUpToLeadByte0xEF) {
  const struct {
    std::string text;
    char32_t codePoint;  // 0: malformed
  } cases[] = {
      {"\xEE\x80\x80", 0xE000},  // private use, lead 0xEE
      {"\xEF\xBC\x8C", 0xFF0C},  // "，" fullwidth comma, lead 0xEF
      {"\xEF\xBB\xBF", 0xFEFF},  // the byte order mark
      {"\xEF\xBF\xBF", 0xFFFF},  // the last three-byte character
      {"\xEF\xBC", 0},            // cut short
      {"\xEF\x41\x8C", 0},       // no continuation byte
      {"\xF0\xBC\x8C", 0},       // 0xF0 leads four bytes
  };
  for (const auto& c : cases) {
    const DecodedCharacter decoded = DecodeCharacter(c.text, 0);
    EXPECT_EQ(decoded.valid, c.codePoint != 0) << std::hex << c.codePoint;
    if (c.codePoint != 0) {
      EXPECT_EQ(decoded.codePoint, c.codePoint);
      EXPECT_EQ(decoded.length, 3u);
    }
    EXPECT_EQ(FindInvalidUtf8("a" + c.text), c.codePoint != 0 ? std::nullopt : std::optional<std::size_t>(1));
  }
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

TEST(Utf8Test, ReadsAsGbkOnlyWhenEveryHighByteStartsADoubleByteCharacter) {
  struct Case {
    std::string_view text;
    bool gbk;
  } cases[] = {
      {"\xCD\xBC\xB1\xED", true},         // 图表
      {"a \xCD\xBC 1\xB1\xED.", true},     // with ASCII between
      {"plain ASCII", false},               // nothing to hint at
      {"\xCD", false},                      // a lead byte without its trail
      {"\xCD\x20", false},                  // a trail byte below 0x40
      {"\xCD\x7F", false},                  // 0x7F is no trail byte
      {"\x80\x41", false},                  // 0x80 leads nothing
      {"\xE5\x9B\xBE\xE8\xA1", false},      // broken UTF-8: an odd byte left
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadsAsGbk(c.text), c.gbk) << c.text;
  }
}

TEST(Utf8Test, NotUtf8MessageHintsAtGbk) {
  EXPECT_EQ(NotUtf8Message("\xCD\xBC", 0, "try --gbk"),
            "not UTF-8 (invalid byte at offset 0); it reads as GBK: try --gbk");
  EXPECT_EQ(NotUtf8Message("ab\xFF", 2, "try --gbk"), "not UTF-8 (invalid byte at offset 2)");
  // UTF-8 cut inside its last character, though its bytes would pass as GBK.
  EXPECT_EQ(NotUtf8Message("\xE6\x95", 0, "try --gbk"), "not UTF-8 (invalid byte at offset 0)");
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

