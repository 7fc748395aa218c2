#include "vectorise/document_features.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace wenlei {
namespace {

// A resource set small enough to weigh by hand: "c" is a variant that adds
// to "a"'s feature.
SourceData HandMadeSet() {
  SourceData set;
  set.wordIndexTable.MergeKeepingExisting({{"a", 1}, {"b", 2}, {"c", 3}});
  set.termMapTable.MergeKeepingExisting({{"a", ""}, {"b", ""}, {"c", "a"}});
  set.idfTable.MergeKeepingExisting({{"a", 1.0}, {"b", 2.0}, {"c", 1.0}});
  set.averageDocLength = 2.0;
  return set;
}

// Words a a b c z: 4 known occurrences, K = 4 / 2 * 1.5 = 3.  Before
// normalising a = 2/5.5 = 4/11, b = 1/4.5 * 2 = 4/9, c = 1/4.5 = 2/9; the
// length is sqrt(16/121 + 20/81) = sqrt(3716)/99.  Feature 1 holds a + c =
// 58/99, feature 2 b = 44/99: 58/sqrt(3716) = 0.9514591..., 44/sqrt(3716) =
// 0.7217965...
TEST(VectoriseWordsTest, WeighsAndMapsAsWorkedOutByHand) {
  const SourceData set = HandMadeSet();
  const std::vector<std::string_view> words{"a", "z", "b", "a", "c"};
  const DocumentFeatures document = VectoriseWords(words, set);
  EXPECT_EQ(document.knownWordCount, 4.0);
  EXPECT_EQ(document.features, (FeatureVector{{1, 0.951459}, {2, 0.721797}}));
  EXPECT_EQ(TestLine(document.features), "0 1:0.951459 2:0.721797 ");

  // One word alone has unit length whatever its count.
  const std::vector<std::string_view> one{"b", "b", "b"};
  EXPECT_EQ(VectoriseWords(one, set).features, (FeatureVector{{2, 1.0}}));

  const std::vector<std::string_view> unknown{"x", "y"};
  const DocumentFeatures none = VectoriseWords(unknown, set);
  EXPECT_EQ(none.knownWordCount, 0.0);
  EXPECT_TRUE(none.features.empty());
}

}  // namespace
}  // namespace wenlei
