#include "vectorise/document_vector.h"

#include <gtest/gtest.h>

#include <clocale>

#include "testutil/test_support.h"

namespace wenlei {
namespace {

template <typename Table>
Table Make(std::vector<typename Table::Entry> entries) {
  Table table;
  table.MergeKeepingExisting(std::move(entries));
  return table;
}

TEST(DocumentVectorTest, TestLineIgnoresADecimalCommaLocale) {
  const char* comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  if (comma == nullptr) GTEST_SKIP() << "de_DE.UTF-8 locale not generated";
  char printed[32];
  std::snprintf(printed, sizeof printed, "%g", 0.5);
  EXPECT_STREQ(printed, "0,5");  // the locale really is in force
  DocumentVector vector;
  vector.BuildFeatures({{"a", 0.25}}, Make<TermMapTable>({{"a", ""}}), Make<WordIndexTable>({{"a", 3}}));
  EXPECT_EQ(vector.TestLine(), "0 3:0.25 ");
  std::setlocale(LC_NUMERIC, "C");
}

TEST(DocumentVectorTest, TermsTakePartOnlyThroughTheTermMap) {
  const auto words = Make<WordIndexTable>({{"a", 1}, {"b", 2}, {"c", 3}, {"known", 9}});
  const auto termMap = Make<TermMapTable>({{"b", "a"}, {"c", "a"}, {"d", "zz"}, {"e", ""}});
  DocumentVector vector;
  vector.BuildFeatures({{"b", 0.25}, {"c", 0.5}, {"d", 1.0}, {"e", 1.0}, {"known", 1.0}},
                       termMap, words);
  // b and c merge into a's feature; d's canonical word and e are not in the
  // vocabulary; "known" is not in the term map.
  EXPECT_EQ(vector.features(), (FeatureVector{{1, 0.75}}));

  vector.BuildFeatures({}, termMap, words);
  EXPECT_TRUE(vector.features().empty());
}

TEST(DocumentVectorTest, SelfStandingWordDoesNotAddToAFeatureAlreadyFilled) {
  const auto words = Make<WordIndexTable>({{"A", 4}, {"B", 5}, {"Z", 6}});
  DocumentVector vector;
  // A sorts before B: A inserts, B adds.
  vector.BuildFeatures({{"A", 0.5}, {"B", 0.25}}, Make<TermMapTable>({{"A", ""}, {"B", "A"}}), words);
  EXPECT_EQ(vector.features(), (FeatureVector{{4, 0.75}}));
  // Z sorts after B: B inserts, Z standing for itself keeps B's value.
  vector.BuildFeatures({{"B", 0.25}, {"Z", 0.5}}, Make<TermMapTable>({{"B", "Z"}, {"Z", ""}}), words);
  EXPECT_EQ(vector.features(), (FeatureVector{{6, 0.25}}));
}

TEST(DocumentVectorTest, FeaturesAscendWhateverTheTermOrder) {
  const auto words = Make<WordIndexTable>({{"\xff", 1}, {"a", 30}, {"\x80", 2}});
  DocumentVector vector;
  vector.BuildFeatures({{"a", 0.5}, {"\x80", 1234567.0}, {"\xff", 0.0000123}},
                       Make<TermMapTable>({{"a", ""}, {"\x80", ""}, {"\xff", ""}}), words);
  EXPECT_EQ(vector.TestLine(), "0 1:1.23e-05 2:1.23457e+06 30:0.5 ");
}

TEST(DocumentVectorTest, WriteTestFileReplacesTheFileWithOneLineOrNothing) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/SVMTestFile.dat";
  DocumentVector vector;
  vector.BuildFeatures({{"a", 0.5}, {"b", 0.25}},
                       Make<TermMapTable>({{"a", ""}, {"b", ""}}),
                       Make<WordIndexTable>({{"a", 3}, {"b", 17}}));
  EXPECT_TRUE(vector.WriteTestFile(path).ok());
  EXPECT_EQ(testing::ReadFile(path), "0 3:0.5 17:0.25 \n");
  EXPECT_TRUE(vector.WriteTestFile(path).ok());
  EXPECT_EQ(testing::ReadFile(path), "0 3:0.5 17:0.25 \n");

  DocumentVector empty;
  EXPECT_TRUE(empty.WriteTestFile(path).ok());
  EXPECT_EQ(testing::ReadFile(path), "");
  EXPECT_TRUE(empty.WriteTestFile(dir.path() + "/fresh.dat").ok());
  EXPECT_TRUE(testing::FileExists(dir.path() + "/fresh.dat"));
  // A path that cannot be written is a failure naming it and the reason.
  const Status failed = vector.WriteTestFile(dir.path() + "/no/such/dir/file");
  EXPECT_EQ(failed.code(), Status::Code::kIoError);
  EXPECT_EQ(failed.message(),
            "cannot write " + dir.path() + "/no/such/dir/file: No such file or directory");
}

}  // namespace
}  // namespace wenlei
