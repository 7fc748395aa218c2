#include "decide/class_decision.h"

#include <gtest/gtest.h>

#include <vector>

namespace wenlei {
namespace {

// Pair decisions in libsvm's order, (0,1), (0,2), (1,2), ..., and the margins
// they give.  Scores 1, 5 and 2 of one vector per class decide each pair by
// their difference; the margins are then the scores less their mean, 8/3.
TEST(ClassMarginsTest, SumEachClassesPairsOverTheClasses) {
  struct Case {
    std::vector<double> pairs;
    std::vector<double> margins;
  };
  const Case cases[] = {
      {{3.0}, {1.5, -1.5}},
      {{2.0, -1.0, 4.0}, {1.0 / 3, 2.0 / 3, -1.0}},
      {{1.0 - 5.0, 1.0 - 2.0, 5.0 - 2.0}, {1.0 - 8.0 / 3, 5.0 - 8.0 / 3, 2.0 - 8.0 / 3}},
  };
  for (const Case& c : cases) {
    const std::vector<double> margins = ClassMargins(c.pairs, c.margins.size());
    ASSERT_EQ(margins.size(), c.margins.size());
    for (std::size_t i = 0; i < margins.size(); ++i) {
      EXPECT_NEAR(margins[i], c.margins[i], 1e-12) << c.margins.size() << " classes, class " << i;
    }
  }
}

}  // namespace
}  // namespace wenlei
