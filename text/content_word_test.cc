#include "text/content_word.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "text/gbk_converter.h"

namespace wenlei {
namespace {

TEST(ContentWordTest, NeedsALetterOrAChineseCharacterInUtf8AndInGbk) {
  struct Case {
    const char* word;
    bool content;
  };
  const Case cases[] = {
      {"文字", true},   {"Del", true},    {"x2", true},     {"Ｗｏｒｄ", true},  {"α", true},
      {"ひらがな", true}, {"，", false},    {"。", false},    {"123", false},      {"３．５", false},
      {"%", false},     {"—", false},     {"×", false},     {"", false},         {"①", false},
      {"「表」", true},  {"()", false},    {"--", false},    {"ā", true},         {"Я", true},
  };
  std::unique_ptr<GbkConverter> converter;
  const Status opened = GbkConverter::Open(&converter);
  ASSERT_TRUE(opened.ok()) << opened.message();
  for (const Case& c : cases) {
    EXPECT_EQ(IsContentWord(c.word), c.content) << c.word;
    std::string gbk;
    ASSERT_EQ(converter->AppendGbk(c.word, &gbk), 0u) << c.word;
    EXPECT_EQ(IsGbkContentWord(gbk), c.content) << c.word;
  }
}

}  // namespace
}  // namespace wenlei
