#include "train/feature_selection.h"

#include <gtest/gtest.h>

#include <cmath>

namespace wenlei {
namespace {

// Two classes of two documents each, ASCII words for readability.
Corpus SmallCorpus() {
  Corpus corpus;
  corpus.classNamesUtf8 = {"a", "b"};
  corpus.classNamesGbk = {"a", "b"};
  corpus.documents = {
      {0, {"only_a", "both", "both", "pc"}, 1, {}},
      {0, {"only_a", "both", "rare"}, 2, {}},
      {1, {"both", "computer"}, 3, {}},
      {1, {"both", "half"}, 4, {}},
  };
  CountWordLists(&corpus);
  return corpus;
}

TEST(FeatureSelectionTest, RanksByChiSquareThenBytes) {
  const Corpus corpus = SmallCorpus();  // outlives the statistics
  FeatureStatistics statistics(corpus, {});
  std::vector<RankedUnit> ranked = statistics.Rank(1);
  ASSERT_EQ(ranked.size(), 6u);
  // only_a: A=2 B=0 C=0 D=2 gives N (AD-BC)^2 / ((A+B)(C+D)(A+C)(B+D)) = 4*16/16 = 4.
  EXPECT_EQ(ranked[0].unit, "only_a");
  EXPECT_DOUBLE_EQ(ranked[0].score, 4.0);
  EXPECT_EQ(ranked[0].documentFrequency, 2u);
  // Words held by one document of four: A=1 B=0 C=1 D=2 gives 4*4/(1*3*2*2) = 4/3.
  for (std::size_t i = 1; i <= 4; ++i) EXPECT_DOUBLE_EQ(ranked[i].score, 4.0 / 3.0);
  EXPECT_EQ(ranked[1].unit, "computer");  // equal scores in byte order
  EXPECT_EQ(ranked[4].unit, "rare");
  // A word in every document says nothing about the class.
  EXPECT_EQ(ranked[5].unit, "both");
  EXPECT_EQ(ranked[5].score, 0.0);
}

TEST(FeatureSelectionTest, MinimumDocumentFrequencyDropsRareUnits) {
  const Corpus corpus = SmallCorpus();  // outlives the statistics
  FeatureStatistics statistics(corpus, {});
  std::vector<RankedUnit> ranked = statistics.Rank(2);
  ASSERT_EQ(ranked.size(), 2u);
  EXPECT_EQ(ranked[0].unit, "only_a");
  EXPECT_EQ(ranked[1].unit, "both");
  EXPECT_TRUE(statistics.Rank(5).empty());
}

TEST(FeatureSelectionTest, SynonymsMergeIntoTheirCanonicalUnit) {
  SynonymTable synonyms = {{"pc", "computer"}, {"laptop", "computer"}};
  const Corpus corpus = SmallCorpus();  // outlives the statistics
  FeatureStatistics statistics(corpus, synonyms);
  std::vector<RankedUnit> ranked = statistics.Rank(2);
  // pc (a document of class a) and computer (one of b) now form one unit in
  // two documents, one of each class: chi-square 0.
  ASSERT_EQ(ranked.size(), 3u);
  EXPECT_EQ(ranked[2].unit, "computer");
  EXPECT_EQ(ranked[2].documentFrequency, 2u);
  EXPECT_EQ(ranked[1].unit, "both");
  EXPECT_EQ(statistics.Members("computer"),
            (std::vector<std::string>{"computer", "laptop", "pc"}));
  EXPECT_EQ(statistics.Members("both"), (std::vector<std::string>{"both"}));
  // Word frequencies stay per word: the idf is a word's own.
  EXPECT_EQ(statistics.WordDocumentFrequency("pc"), 1u);
  EXPECT_EQ(statistics.WordDocumentFrequency("laptop"), 0u);
  EXPECT_EQ(statistics.WordDocumentFrequency("both"), 4u);  // repeats count once
  EXPECT_EQ(statistics.documents(), 4u);
}

TEST(FeatureSelectionTest, ClassTurnsGiveEveryClassItsBestWordsEarly) {
  Corpus corpus;
  corpus.classNamesUtf8 = corpus.classNamesGbk = {"big", "small"};
  for (int i = 0; i < 8; ++i) corpus.documents.push_back({0, {"b1", "b2", "b3", "common"}, i, {}});
  corpus.documents.push_back({0, {"common"}, 8, {}});
  corpus.documents.push_back({0, {"s1"}, 9, {}});
  corpus.documents.push_back({1, {"s1", "common"}, 10, {}});
  corpus.documents.push_back({1, {"b1", "common"}, 11, {}});
  CountWordLists(&corpus);
  FeatureStatistics statistics(corpus, {});
  auto units = [](const std::vector<RankedUnit>& ranking) {
    std::vector<std::string> names;
    for (const auto& unit : ranking) names.push_back(unit.unit);
    return names;
  };
  // By the largest chi-square the big class's words come first: b2 and b3
  // 4.8, s1 1.92, b1 0.8, common 0.22.
  EXPECT_EQ(units(statistics.Rank(1)),
            (std::vector<std::string>{"b2", "b3", "s1", "b1", "common"}));
  // In turns: big's best, small's best, big's next, small's next (common
  // is relatively more frequent in small), then what is left.
  EXPECT_EQ(units(statistics.RankByClassTurns(1)),
            (std::vector<std::string>{"b2", "s1", "b3", "common", "b1"}));
  EXPECT_EQ(statistics.RankByClassTurns(3).size(), statistics.Rank(3).size());
}

}  // namespace
}  // namespace wenlei
