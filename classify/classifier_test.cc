#include "classify/classifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "testutil/test_support.h"

namespace wenlei {
namespace {

using testing::WordListBuilder;

// Counting by definition: one vocabulary lookup per word, in list order.
TermCounts CountOneByOne(const std::vector<std::string>& words, const WordIndexTable& vocabulary,
                         double* known) {
  TermCounts counts;
  *known = 0.0;
  for (const std::string& word : words) {
    if (!vocabulary.Contains(word)) continue;
    *known += 1.0;
    counts[word] += 1.0;
  }
  return counts;
}

TEST(CountWordsTest, RepeatedKnownWordsAddUpAndUnknownOnesAreLeftOut) {
  SourceData data;
  data.wordIndexTable.MergeKeepingExisting({{"a", 1}, {"b", 2}, {"\xc4\xe3\xba\xc3", 3}});
  Classifier classifier(data);
  WordListBuilder words;
  words.Add("a").Add("a").Add("b").Add("x").AddAtAddress("a").Add("\xc4\xe3").Add("ab");
  double known = 0.0;
  const TermCounts counts = classifier.CountWords(*words.list(), &known);
  EXPECT_EQ(counts, (TermCounts{{"a", 3.0}, {"b", 1.0}}));
  EXPECT_EQ(known, 4.0);

  WordListBuilder none;
  EXPECT_TRUE(classifier.CountWords(*none.list(), &known).empty());
  EXPECT_EQ(known, 0.0);
}

// Words are grouped by their first four bytes before whole comparisons, so
// the lists mix words that share those bytes, prefixes of one another,
// high bytes, long words held at an address, and sorted runs.
TEST(CountWordsTest, AgreesWithOneLookupPerWordOnMixedLists) {
  std::mt19937 random(23);
  const std::string alphabet("\xb0\xa1\xff\x80" "ab\x01", 7);
  auto word = [&] {
    std::string text = random() % 3 ? std::string("\xb0\xa1\xb0", 3) : "";
    for (std::size_t length = random() % 18; length > 0; --length) text += alphabet[random() % alphabet.size()];
    return text;
  };
  SourceData data;
  std::vector<WordIndexTable::Entry> vocabulary;
  for (int i = 0; i < 300; ++i) vocabulary.emplace_back(word(), i + 1);
  data.wordIndexTable.MergeKeepingExisting(vocabulary);
  Classifier classifier(data);
  for (int list = 0; list < 200; ++list) {
    std::vector<std::string> words;
    for (std::size_t n = random() % (list % 10 == 0 ? 2000 : 60); n > 0; --n) {
      words.push_back(random() % 2 ? vocabulary[random() % vocabulary.size()].first : word());
    }
    if (list % 7 == 0) std::sort(words.begin(), words.end());
    WordListBuilder builder;
    for (const std::string& w : words) random() % 4 ? builder.Add(w) : builder.AddAtAddress(w);
    double known = 0.0, expectedKnown = 0.0;
    const TermCounts counts = classifier.CountWords(*builder.list(), &known);
    EXPECT_EQ(counts, CountOneByOne(words, data.wordIndexTable, &expectedKnown)) << "list " << list;
    EXPECT_EQ(known, expectedKnown) << "list " << list;
  }
}

}  // namespace
}  // namespace wenlei
