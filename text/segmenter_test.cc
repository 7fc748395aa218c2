#include "testutil/test_support.h"
#include "text/segmenter.h"

#include <gtest/gtest.h>


namespace wenlei {
namespace {

using Words = std::vector<std::string>;

std::unique_ptr<Dictionary> ParseDictionary(const std::string& text, const std::string& source,
                                            std::string* error) {
  std::unique_ptr<Dictionary> dictionary;
  *error = Dictionary::Parse(text, source, &dictionary).message();
  return dictionary;
}

Words CutWithBundled(const std::string& text) {
  return Segmenter(testing::BundledDictionary()).Cut(text);
}

TEST(SegmenterTest, SplitsSentencesWhoseSegmentationIsNotInDoubt) {
  EXPECT_EQ(CutWithBundled("我来到北京清华大学"), (Words{"我", "来到", "北京", "清华大学"}));
  EXPECT_EQ(CutWithBundled("他说的确实在理"), (Words{"他", "说", "的", "确实", "在", "理"}));
  EXPECT_EQ(CutWithBundled("要删除数据透视图，请选择图表。"),
            (Words{"要", "删除", "数据", "透视图", "，", "请", "选择", "图表", "。"}));
  EXPECT_EQ(CutWithBundled("结婚的和尚未结婚的"),
            (Words{"结婚", "的", "和", "尚未", "结婚", "的"}));
}

TEST(SegmenterTest, KeepsRunsOfAsciiLettersAndDigitsWhole) {
  EXPECT_EQ(CutWithBundled("按Del键删除iPhone6s的数据"),
            (Words{"按", "Del", "键", "删除", "iPhone6s", "的", "数据"}));
  // Dictionary words that cover a run exactly are still found.
  EXPECT_EQ(CutWithBundled("AT&T的T恤"), (Words{"AT&T", "的", "T恤"}));
  // Other characters between runs stand alone.
  EXPECT_EQ(CutWithBundled("版本3.5%"), (Words{"版本", "3", ".", "5", "%"}));
}

TEST(SegmenterTest, DropsWhiteSpaceOfEveryKind) {
  EXPECT_EQ(CutWithBundled(" 数据\t透视图\u3000图表\r\n\u00A0"),
            (Words{"数据", "透视图", "图表"}));
  EXPECT_EQ(CutWithBundled("\xEF\xBB\xBF数据"), (Words{"数据"}));
  EXPECT_TRUE(CutWithBundled("").empty());
  EXPECT_TRUE(CutWithBundled(" \t\u3000 ").empty());
}

TEST(SegmenterTest, UnknownCharactersAndMalformedBytesStandAlone) {
  EXPECT_EQ(CutWithBundled("数据\xF0\x9F\x99\x82图表"),
            (Words{"数据", "\xF0\x9F\x99\x82", "图表"}));
  EXPECT_EQ(CutWithBundled("数据\xFF图表"), (Words{"数据", "\xFF", "图表"}));
}

TEST(SegmenterTest, TakesTheRouteOfGreatestProbability) {
  std::string error;
  // Total 100: the whole word (log 0.19) beats two halves (log 0.4 * 0.4).
  auto whole = ParseDictionary("北京 40\n大学 40\n北京大学 19\n京大 1\n", "a", &error);
  ASSERT_NE(whole, nullptr) << error;
  EXPECT_EQ(Segmenter(*whole).Cut("北京大学"), (Words{"北京大学"}));
  // Total 100: now the halves win (0.4 * 0.4 > 0.1).
  auto halves = ParseDictionary("北京 40\n大学 40\n北京大学 10\n京大 10\n", "b", &error);
  ASSERT_NE(halves, nullptr) << error;
  EXPECT_EQ(Segmenter(*halves).Cut("北京大学"), (Words{"北京", "大学"}));
}

TEST(SegmenterTest, PrefixesAndZeroFrequencyEntriesAreNoWords) {
  std::string error;
  auto dictionary = ParseDictionary("中华人民共和国 10\n人民 0\n", "c", &error);
  ASSERT_NE(dictionary, nullptr) << error;
  EXPECT_EQ(Segmenter(*dictionary).Cut("中华人民"), (Words{"中", "华", "人", "民"}));
  EXPECT_EQ(Segmenter(*dictionary).Cut("中华人民共和国"), (Words{"中华人民共和国"}));
}

TEST(SegmenterTest, DictionaryWordsNeverStartInsideALetterRun) {
  std::string error;
  auto dictionary = ParseDictionary("T恤 4\n", "d", &error);
  ASSERT_NE(dictionary, nullptr) << error;
  EXPECT_EQ(Segmenter(*dictionary).Cut("T恤"), (Words{"T恤"}));
  EXPECT_EQ(Segmenter(*dictionary).Cut("AT恤"), (Words{"AT", "恤"}));
}

TEST(SplitAtSeparatorsTest, SplitsPresegmentedText) {
  std::vector<std::string_view> words;
  SplitAtSeparators("  数据 透视图\t\u3000图表 \n", &words);
  EXPECT_EQ(words, (std::vector<std::string_view>{"数据", "透视图", "图表"}));
}

}  // namespace
}  // namespace wenlei
