#include "text/gbk_converter.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>

#include "text/gbk_form.h"
#include "text/utf8.h"

namespace wenlei {
namespace {

// The UTF-8 form of c, surrogates included (in the generalised form that
// no decoder accepts).
std::string Utf8Of(char32_t c) {
  std::string out;
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  const int length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  const unsigned char leads[] = {0, 0, 0xC0, 0xE0, 0xF0};
  out.push_back(static_cast<char>(leads[length] | (c >> (6 * (length - 1)))));
  for (int i = length - 2; i >= 0; --i) out.push_back(static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F)));
  return out;
}

// The system's iconv, driven as the library's converter drove it before its
// tables replaced it: the behaviour the tables must reproduce.
class IconvReference {
 public:
  IconvReference()
      : toGbk_(iconv_open("GBK", "UTF-8")), toUtf8_(iconv_open("UTF-8", "GBK")) {}
  ~IconvReference() {
    iconv_close(toGbk_);
    iconv_close(toUtf8_);
  }
  bool ok() const { return toGbk_ != kFailed && toUtf8_ != kFailed; }

  std::size_t Gbk(std::string_view utf8, std::string* gbk) {
    std::size_t dropped = 0;
    Run(toGbk_, utf8, gbk, [&](std::string_view rest) {
      ++dropped;
      return DecodeCharacter(rest, 0).length;
    });
    return dropped;
  }

  std::optional<std::size_t> Utf8(std::string_view gbk, std::string* utf8) {
    std::optional<std::size_t> first;
    Run(toUtf8_, gbk, utf8, [&](std::string_view rest) {
      if (!first) first = gbk.size() - rest.size();
      utf8->append("\xEF\xBF\xBD");
      return std::size_t{1};
    });
    return first;
  }

 private:
  // Converts text, calling skip(rest) where iconv stops at a sequence it
  // cannot convert (EILSEQ) for the number of bytes to step over; a
  // sequence cut short by the end (EINVAL) is stepped over whole.
  template <typename Skip>
  void Run(iconv_t converter, std::string_view text, std::string* out, Skip skip) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
      char buffer[4096];
      char* cursor = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t result = iconv(converter, &in, &inLeft, &cursor, &outLeft);
      const int error = errno;
      out->append(buffer, static_cast<std::size_t>(cursor - buffer));
      if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
      const std::size_t step = skip(std::string_view(in, inLeft));
      const std::size_t over = error == EILSEQ ? step : inLeft;
      in += over;
      inLeft -= over;
    }
  }

  static inline const iconv_t kFailed = reinterpret_cast<iconv_t>(-1);
  iconv_t toGbk_, toUtf8_;
};

class GbkConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(GbkConverter::Open(&converter_).ok());
    ASSERT_TRUE(iconv_.ok()) << "this system's iconv has no GBK";
  }

  std::unique_ptr<GbkConverter> converter_;
  IconvReference iconv_;
};

TEST_F(GbkConverterTest, ConvertsAsDocumented) {
  std::string gbk, utf8;
  EXPECT_EQ(converter_->AppendGbk("数据 Del，", &gbk), 0u);
  EXPECT_EQ(gbk, "\xCA\xFD\xBE\xDD Del\xA3\xAC");
  // Two emoji and a Hangul syllable, left out whole and counted.
  gbk.clear();
  EXPECT_EQ(converter_->AppendGbk("数\xF0\x9F\x99\x82据\xF0\x9F\x98\x80 \xEA\xB0\x80", &gbk), 3u);
  EXPECT_EQ(gbk, "\xCA\xFD\xBE\xDD ");
  EXPECT_EQ(converter_->AppendUtf8("\xCE\xC4\xB1\xBE ok", &utf8), std::nullopt);
  EXPECT_EQ(utf8, "文本 ok");
  utf8.clear();
  EXPECT_EQ(converter_->AppendUtf8("\xCA\xFD\xFF\xBE\xDD", &utf8), 2u);
  EXPECT_EQ(utf8, "数\xEF\xBF\xBD据");
}

// Every code point, surrogates and values GBK lacks included, each
// followed by a line end, in blocks: the same bytes and the same count of
// characters left out as iconv.
TEST_F(GbkConverterTest, EveryCodePointConvertsAsIconvDoes) {
  std::size_t oneByte = 0;
  for (char32_t block = 0; block <= 0x10FFFF; block += 0x400) {
    std::string utf8, expected, got;
    for (char32_t c = block; c < block + 0x400; ++c) utf8 += Utf8Of(c) + "\n";
    const std::size_t expectedDropped = iconv_.Gbk(utf8, &expected);
    ASSERT_EQ(converter_->AppendGbk(utf8, &got), expectedDropped) << "U+" << std::hex << unsigned(block);
    ASSERT_EQ(got, expected) << "U+" << std::hex << unsigned(block);
  }
  // What the converter writes reads back as the character and passes the
  // check of words given as GBK: both doors read a text alike.
  for (char32_t c = 1; c <= 0xFFFF; ++c) {
    std::string gbk, back;
    if (converter_->AppendGbk(Utf8Of(c), &gbk) != 0 || gbk.empty()) continue;
    ASSERT_EQ(FindMalformedGbk(gbk), std::nullopt);
    ASSERT_EQ(converter_->AppendUtf8(gbk, &back), std::nullopt);
    ASSERT_EQ(back, Utf8Of(c));
    if (gbk.size() == 1) ++oneByte;
  }
  EXPECT_EQ(oneByte, 128u);  // ASCII from U+0001 and the euro sign
}

// Every byte alone and every pair of bytes from 0x80 up, each followed by
// an ASCII letter and alone: the same UTF-8 and the same first bad offset.
TEST_F(GbkConverterTest, EveryByteAndPairReadsAsIconvReadsIt) {
  for (unsigned lead = 0; lead <= 0xFF; ++lead) {
    for (unsigned trail = 0; trail <= (lead < 0x80 ? 0u : 0xFFu); ++trail) {
      for (std::string gbk : {std::string{char(lead), char(trail), 'a'}, std::string{char(lead)}}) {
        std::string expected, got;
        const auto expectedBad = iconv_.Utf8(gbk, &expected);
        ASSERT_EQ(converter_->AppendUtf8(gbk, &got), expectedBad) << lead << " " << trail;
        ASSERT_EQ(got, expected) << lead << " " << trail;
      }
    }
  }
}

// Text the callers never pass (it fails their UTF-8 check), still converted
// as iconv converts it.
TEST_F(GbkConverterTest, MalformedUtf8IsLeftOutAsIconvLeavesItOut) {
  for (std::string_view utf8 : {"a\x80" "b", "\xC0\xAF", "\xE6\x95", "x\xE6\x95", "\xF4\x90\x80\x80",
                                "\xE6\x95\xB0\xFF\xE6", "\xED\xBF\xBF" "c", "\xF0\x9F\x99"}) {
    std::string expected, got;
    EXPECT_EQ(converter_->AppendGbk(utf8, &got), iconv_.Gbk(utf8, &expected)) << utf8;
    EXPECT_EQ(got, expected);
  }
}

}  // namespace
}  // namespace wenlei
