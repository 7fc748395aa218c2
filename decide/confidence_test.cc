#include "decide/confidence.h"

#include <gtest/gtest.h>

#include <cmath>

namespace wenlei {
namespace {

TEST(AnswerConfidenceTest, GeometricMeanOfTopProbabilityAndKnownShare) {
  struct Case {
    std::vector<double> probabilities;
    std::size_t words;
    std::size_t known;
    double expected;
  };
  const Case cases[] = {
      {{0.9, 0.1}, 10, 10, std::sqrt(0.9)},
      {{0.9, 0.1}, 10, 4, std::sqrt(0.9 * 0.4)},
      {{0.5, 0.3, 0.2}, 100, 25, std::sqrt(0.125)},
      {{1.0, 0.0}, 3, 3, 1.0},
      {{0.8, 0.2}, 10, 0, 0.0},   // no known word
      {{}, 10, 5, 0.0},            // no prediction
      {{0.8, 0.2}, 0, 0, 0.0},
      {{0.8, 0.2}, 2, 5, std::sqrt(0.8)},  // counted apart: never above 1
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(AnswerConfidence(c.probabilities, c.words, c.known), c.expected)
        << c.words << " " << c.known;
  }
}

TEST(AnswerConfidenceTest, GrowsWithEitherSignal) {
  EXPECT_LT(AnswerConfidence({0.6, 0.4}, 20, 10), AnswerConfidence({0.7, 0.3}, 20, 10));
  EXPECT_LT(AnswerConfidence({0.6, 0.4}, 20, 10), AnswerConfidence({0.6, 0.4}, 20, 11));
}

}  // namespace
}  // namespace wenlei
