#include "train/seeded_rand.h"

#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

namespace wenlei {
namespace {

std::vector<int> Draw(int count) {
  std::vector<int> values;
  for (int i = 0; i < count; ++i) values.push_back(std::rand());
  return values;
}

TEST(SeededRandTest, DrawsTheSeedsSequenceAndGivesTheProgramItsOwnBack) {
  for (unsigned seed : {1u, 7u, 4294967295u}) {
    std::srand(seed);
    const std::vector<int> seeded = Draw(50);
    std::srand(12345);
    const std::vector<int> hosts = Draw(20);

    std::srand(12345);
    const std::vector<int> before = Draw(10);
    {
      SeededRand rand(seed);
      EXPECT_EQ(Draw(50), seeded) << seed;
      // The solvers built from their sources draw the same.
      for (int i = 0; i < 50; ++i) ASSERT_EQ(wenlei_glibc_rand(), seeded[i]) << seed << " " << i;
    }
    std::vector<int> after = Draw(10);
    after.insert(after.begin(), before.begin(), before.end());
    EXPECT_EQ(after, hosts) << seed;
  }
}

// The generator the Windows builds' solvers draw from gives glibc's rand()
// sequence for any seed, 0 and the largest included.
TEST(GlibcRandTest, DrawsTheSequenceOfTheSystemsRand) {
  for (unsigned seed : {0u, 1u, 7u, 12345u, 2147483647u, 2147483648u, 4294967295u}) {
    std::srand(seed);
    const std::vector<int> expected = Draw(1000);
    wenlei_glibc_srand(seed);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(wenlei_glibc_rand(), expected[i]) << seed << " " << i;
  }
}

}  // namespace
}  // namespace wenlei
