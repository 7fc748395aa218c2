#include "vectorise/term_weighting.h"

#include <gtest/gtest.h>

#include <cmath>

namespace wenlei {
namespace {

IdfTable Idf(std::vector<IdfTable::Entry> entries) {
  IdfTable table;
  table.MergeKeepingExisting(std::move(entries));
  return table;
}

TEST(TermWeightingTest, WorkedExample) {
  TermCounts counts{{"a", 2.0}, {"b", 1.0}};
  WeightTerms(counts, 3.0, Idf({{"a", 1.0}, {"b", 1.0}}), 2.0);
  EXPECT_NEAR(counts["a"], 0.844819, 5e-7);
  EXPECT_NEAR(counts["b"], 0.535052, 5e-7);
  // The exact order of operations: multiply by one precomputed factor.
  const double k = (3.0 / 2.0) * 1.5;
  const double a = (2.0 / ((k + 2.0) + 0.5)) * 1.0, b = (1.0 / ((k + 1.0) + 0.5)) * 1.0;
  const double f = 1.0 / std::sqrt(0.0 + a * a + b * b);
  EXPECT_EQ(counts["a"], f * a);
  EXPECT_EQ(counts["b"], f * b);
}

TEST(TermWeightingTest, OneWordGetsUnitWeightWithTheSignOfItsIdf) {
  TermCounts positive{{"x", 7.0}}, negative{{"x", 2.0}};
  WeightTerms(positive, 7.0, Idf({{"x", 3.0}}), 5.0);
  WeightTerms(negative, 2.0, Idf({{"x", -0.5}}), 5.0);
  EXPECT_NEAR(positive["x"], 1.0, 1e-15);
  EXPECT_NEAR(negative["x"], -1.0, 1e-15);
}

TEST(TermWeightingTest, ZeroIdfZeroLengthAndMissingIdfGiveZeroWithoutNormalising) {
  TermCounts zeroIdf{{"a", 1.0}, {"b", 2.0}};
  WeightTerms(zeroIdf, 3.0, Idf({{"a", 0.0}, {"b", 0.0}}), 2.0);
  EXPECT_EQ(zeroIdf, (TermCounts{{"a", 0.0}, {"b", 0.0}}));

  TermCounts zeroLength{{"a", 1.0}, {"b", 2.0}};
  WeightTerms(zeroLength, 3.0, Idf({{"a", 1.0}, {"b", 1.0}}), 0.0);
  EXPECT_EQ(zeroLength, (TermCounts{{"a", 0.0}, {"b", 0.0}}));

  // A word the idf table lacks weighs nothing and the table is not changed.
  const IdfTable idf = Idf({{"a", 2.0}});
  TermCounts missing{{"a", 1.0}, {"q", 4.0}};
  WeightTerms(missing, 5.0, idf, 2.0);
  EXPECT_NEAR(missing["a"], 1.0, 1e-15);
  EXPECT_EQ(missing["q"], 0.0);
  EXPECT_EQ(idf.size(), 1u);
}

TEST(TermWeightingTest, DoublingLengthAndAverageChangesNothing) {
  const IdfTable idf = Idf({{"a", 1.3}, {"b", 0.4}, {"\xb0\xa1", 2.0}});
  TermCounts once{{"a", 3.0}, {"b", 1.0}, {"\xb0\xa1", 2.0}};
  TermCounts twice = once;
  WeightTerms(once, 6.0, idf, 4.0);
  WeightTerms(twice, 12.0, idf, 8.0);
  EXPECT_EQ(once, twice);
  EXPECT_EQ(once.size(), 3u);
  EXPECT_EQ(once.rbegin()->first, "\xb0\xa1");
}

}  // namespace
}  // namespace wenlei
