#include "text/dictionary.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <utility>

#include "testutil/test_support.h"

namespace wenlei {
namespace {

// The dictionary, or null with the failure's message in *error.
std::unique_ptr<Dictionary> Parse(const std::string& text, std::string* error) {
  std::unique_ptr<Dictionary> dictionary;
  *error = Dictionary::Parse(text, "test.txt", &dictionary).message();
  return dictionary;
}

std::unique_ptr<Dictionary> Load(const std::string& path, std::string* error) {
  std::unique_ptr<Dictionary> dictionary;
  *error = Dictionary::Load(path, &dictionary).message();
  return dictionary;
}

TEST(DictionaryTest, FindsWordsWithTheirLogProbabilityAndPrefixesAsNonWords) {
  std::string error;
  auto dictionary = Parse("北京 30 ns\n北京大学 10 nt\n大学 60\n", &error);
  ASSERT_NE(dictionary, nullptr) << error;
  EXPECT_EQ(dictionary->wordCount(), 3u);

  const Dictionary::Entry* word = dictionary->Find("北京大学");
  ASSERT_NE(word, nullptr);
  EXPECT_TRUE(word->isWord);
  EXPECT_DOUBLE_EQ(word->logProbability, std::log(10.0) - std::log(100.0));

  for (const char* prefix : {"北", "北京大", "大"}) {
    const Dictionary::Entry* entry = dictionary->Find(prefix);
    ASSERT_NE(entry, nullptr) << prefix;
    EXPECT_FALSE(entry->isWord) << prefix;
  }
  EXPECT_EQ(dictionary->Find("京"), nullptr);
  EXPECT_EQ(dictionary->Find("北京大学生"), nullptr);
  EXPECT_EQ(dictionary->Find(""), nullptr);
  EXPECT_DOUBLE_EQ(dictionary->unknownLogProbability(), -std::log(100.0));
}

TEST(DictionaryTest, AcceptsByteOrderMarkCrLfBlankLinesTabsAndMissingTags) {
  std::string error;
  auto dictionary = Parse("\xEF\xBB\xBF数据 5 n\r\n\r\n  \n透视\t7\n", &error);
  ASSERT_NE(dictionary, nullptr) << error;
  EXPECT_EQ(dictionary->wordCount(), 2u);
  ASSERT_NE(dictionary->Find("数据"), nullptr);
  EXPECT_TRUE(dictionary->Find("透视")->isWord);
}

TEST(DictionaryTest, RepeatedWordTakesItsLastFrequencyAndZeroMeansNoWord) {
  std::string error;
  auto dictionary = Parse("数据 5\n数据 15\n透视图 0\n", &error);
  ASSERT_NE(dictionary, nullptr) << error;
  // Every line adds to the total: 5 + 15 + 0.
  EXPECT_DOUBLE_EQ(dictionary->Find("数据")->logProbability, std::log(15.0 / 20.0));
  ASSERT_NE(dictionary->Find("透视图"), nullptr);
  EXPECT_FALSE(dictionary->Find("透视图")->isWord);
  EXPECT_EQ(dictionary->wordCount(), 1u);
}

TEST(DictionaryTest, RejectsMalformedLinesNamingTheLine) {
  // Longer words would make segmentation cubic; 64 characters still pass.
  std::string longest;
  for (int i = 0; i < 64; ++i) longest += "字";
  std::string error;
  EXPECT_NE(Parse(longest + " 5\n", &error), nullptr) << error;
  // A file without any word would leave every document unsegmented.
  const std::string wordless =
      "test.txt: no word with a frequency above 0 (expected lines \"word frequency [tag]\")";
  const std::pair<std::string, std::string> cases[] = {
      {"数据 5\n透视图\n", "test.txt:2: expected \"word frequency [tag]\""},
      {"数据 5 n extra\n", "test.txt:1: expected \"word frequency [tag]\""},
      {"\n\n数据 5x n\n", "test.txt:3: the frequency \"5x\" is not a whole number"},
      {"数据 -5\n", "test.txt:1: the frequency \"-5\" is not a whole number"},
      {"数据 5\n\xCA\xFD\xBE\xDD 5\n", "test.txt: not UTF-8 (invalid byte at offset 9)"},
      {"数据 5\n" + longest + "字 5\n", "test.txt:2: the word has 65 characters, more than the 64 a word may have"},
      {"", wordless},
      {"\n \n", wordless},
      {"\xEF\xBB\xBF", wordless},
      {"数据 0\n透视 0\n", wordless},
  };
  for (const auto& [text, message] : cases) {
    EXPECT_EQ(Parse(text, &error), nullptr) << text;
    EXPECT_EQ(error, message) << text;
  }
}

TEST(DictionaryTest, LoadNamesAMissingFileAndReadsOnlyRegularFiles) {
  testing::TempDir dir;
  std::string error;
  EXPECT_EQ(Load(dir.path() + "/none.txt", &error), nullptr);
  EXPECT_EQ(error, "cannot open dictionary " + dir.path() + "/none.txt");
  // A FIFO would block the load, a device would feed it without end.
  const std::string fifo = dir.path() + "/fifo.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero")}) {
    EXPECT_EQ(Load(path, &error), nullptr);
    EXPECT_EQ(error, "cannot read " + path + ": not a regular file");
  }
}

TEST(DictionaryTest, BundledDictionaryHoldsJiebasWords) {
  const Dictionary& dictionary = testing::BundledDictionary();
  EXPECT_GT(dictionary.wordCount(), 340000u);
  for (const char* word : {"清华大学", "AT&T", "T恤", "数据", "透视图"}) {
    const Dictionary::Entry* entry = dictionary.Find(word);
    ASSERT_NE(entry, nullptr) << word;
    EXPECT_TRUE(entry->isWord) << word;
  }
}

}  // namespace
}  // namespace wenlei
