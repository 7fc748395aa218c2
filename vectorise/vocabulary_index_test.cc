#include "vectorise/vocabulary_index.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "util/number_text.h"
#include "vectorise/document_features.h"
#include "vectorise/document_vector.h"

namespace wenlei {
namespace {

// Words that share their first bytes (the eight a slot of the index holds
// among them), are prefixes of one another and carry high bytes.
std::string RandomWord(std::mt19937& random) {
  static const std::string alphabet("\xb0\xa1\xff\x80" "ab", 6);
  static const std::string heads[] = {"", "\xb0\xa1\xb0", "\xb0\xa1\xb0\xa1\xb0\xa1\xb0\xa1"};
  std::string word = heads[random() % 3];
  for (std::size_t length = random() % (word.size() > 3 ? 4 : 14); length > 0; --length) {
    word += alphabet[random() % alphabet.size()];
  }
  return word;
}

// A set whose term map leaves words out, lets them stand for themselves,
// or maps them to canonical words inside and outside the vocabulary, and
// whose idf table misses some words.
SourceData RandomSet(std::mt19937& random) {
  SourceData set;
  std::vector<WordIndexTable::Entry> vocabulary;
  std::vector<TermMapTable::Entry> termMap;
  std::vector<IdfTable::Entry> idf;
  for (int i = 0; i < 150; ++i) vocabulary.emplace_back(RandomWord(random), 1 + random() % 120);
  for (const auto& [word, feature] : vocabulary) {
    switch (random() % 4) {
      case 0: break;
      case 1: termMap.emplace_back(word, ""); break;
      case 2: termMap.emplace_back(word, vocabulary[random() % vocabulary.size()].first); break;
      default: termMap.emplace_back(word, RandomWord(random)); break;
    }
    if (random() % 8) idf.emplace_back(word, std::uniform_real_distribution<double>(-1.0, 6.0)(random));
  }
  set.wordIndexTable.MergeKeepingExisting(vocabulary);
  set.termMapTable.MergeKeepingExisting(termMap);
  set.idfTable.MergeKeepingExisting(idf);
  set.averageDocLength = 7.5;
  return set;
}

// The classification's steps by their definitions, over the ordered tables:
// counting one lookup per word, WeightTerms, BuildFeatures.
struct Reference {
  double known = 0.0;
  TermCounts weights;
  FeatureVector features;
  std::vector<std::pair<std::string_view, std::int32_t>> sources;
};
Reference ByTheSteps(const std::vector<std::string_view>& words, const SourceData& set) {
  Reference reference;
  for (std::string_view word : words) {
    if (!set.wordIndexTable.Contains(word)) continue;
    reference.known += 1.0;
    reference.weights[std::string(word)] += 1.0;
  }
  WeightTerms(reference.weights, reference.known, set.idfTable, set.averageDocLength);
  DocumentVector vector;
  vector.BuildFeatures(reference.weights, set.termMapTable, set.wordIndexTable, &reference.sources);
  reference.features = vector.features();
  return reference;
}

TEST(VocabularyIndexTest, VectorisingThroughTheIndexFollowsTheStepsOverTheTables) {
  std::mt19937 random(5);
  for (int round = 0; round < 40; ++round) {
    const SourceData set = RandomSet(random);
    const VocabularyIndex index(set);
    for (int list = 0; list < 20; ++list) {
      std::vector<std::string> owned;
      for (std::size_t n = random() % 80; n > 0; --n) {
        owned.push_back(random() % 2 ? (set.wordIndexTable.begin() + random() % set.wordIndexTable.size())->first
                                     : RandomWord(random));
      }
      const std::vector<std::string_view> words(owned.begin(), owned.end());
      const Reference reference = ByTheSteps(words, set);

      IndexedDocument document;
      VectoriseTokens(words, index, set.averageDocLength, FeatureRounding::kNone, &document);
      EXPECT_EQ(document.knownWordCount, reference.known);
      TermCounts weights;
      for (const KnownTerm& term : document.terms) weights[std::string(index.Word(term.number))] = term.weight;
      EXPECT_EQ(weights, reference.weights);
      EXPECT_EQ(FeatureVector(document.features.begin(), document.features.end()), reference.features);

      SparseFeatures mapped;
      std::vector<std::pair<std::size_t, std::int32_t>> sources;
      MapTermsToFeatures(document.terms, index, &mapped, &sources);
      ASSERT_EQ(sources.size(), reference.sources.size());
      for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(index.Word(document.terms[sources[i].first].number), reference.sources[i].first);
        EXPECT_EQ(sources[i].second, reference.sources[i].second);
      }

      VectoriseTokens(words, index, set.averageDocLength, FeatureRounding::kSixSignificantDigits, &document);
      ASSERT_EQ(document.features.size(), reference.features.size());
      auto expected = reference.features.begin();
      for (const auto& [feature, weight] : document.features) {
        EXPECT_EQ(weight, RoundToSixSignificantDigits(expected->second));
        ++expected;
      }
    }
  }
}

// A classifier keeps its index while the tables stay as they were: any
// change to one of the three, and a table moved away, must be seen.
TEST(VocabularyIndexTest, DescribesTheTablesOnlyAsTheyWereBuiltFrom) {
  const std::vector<std::function<void(SourceData&)>> changes = {
      [](SourceData& set) { set.wordIndexTable.Insert("new", 9); },
      [](SourceData& set) { set.termMapTable.MergeKeepingExisting({{"new", ""}}); },
      [](SourceData& set) { set.idfTable.FindOrInsertDefault("a") = 2.0; },
      [](SourceData& set) { set.ReleaseTables(); },
      [](SourceData& set) { WordIndexTable taken = std::move(set.wordIndexTable); },
  };
  for (std::size_t i = 0; i < changes.size(); ++i) {
    SourceData set;
    set.wordIndexTable.MergeKeepingExisting({{"a", 1}});
    set.termMapTable.MergeKeepingExisting({{"a", ""}});
    set.idfTable.MergeKeepingExisting({{"a", 1.0}});
    const VocabularyIndex index(set);
    EXPECT_TRUE(index.Describes(set));
    EXPECT_TRUE(index.Describes(SourceData(set)));
    changes[i](set);
    EXPECT_FALSE(index.Describes(set)) << "change " << i;
  }
}

}  // namespace
}  // namespace wenlei
