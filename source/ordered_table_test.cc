#include "source/ordered_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wenlei {
namespace {

std::vector<std::string> Keys(const OrderedTable<std::string, int>& table) {
  std::vector<std::string> keys;
  for (const auto& entry : table) keys.push_back(entry.first);
  return keys;
}

TEST(OrderedTableTest, OrdersBytesAsUnsignedWithPrefixesFirst) {
  OrderedTable<std::string, int> table;
  table.Insert("\x80", 1);
  table.Insert("\x7f", 2);
  table.Insert("\xff\x01", 3);
  table.Insert("\xff", 4);
  table.Insert("", 5);
  table.Insert("ab", 6);
  table.Insert("a", 7);
  EXPECT_EQ(Keys(table), (std::vector<std::string>{"", "a", "ab", "\x7f", "\x80", "\xff", "\xff\x01"}));
  ASSERT_NE(table.Find(std::string_view("\xff")), nullptr);
  EXPECT_EQ(*table.Find(std::string_view("\xff")), 4);
  EXPECT_EQ(table.Find(std::string_view("\xfe")), nullptr);
  EXPECT_EQ(table.Find(std::string_view("abc")), nullptr);
}

TEST(OrderedTableTest, FirstInsertionWinsForSinglesAndBatches) {
  OrderedTable<std::string, int> table;
  EXPECT_TRUE(table.Insert("b", 1));
  EXPECT_FALSE(table.Insert("b", 2));
  EXPECT_EQ(*table.Find(std::string("b")), 1);

  table.MergeKeepingExisting({{"c", 10}, {"b", 20}, {"a", 30}, {"c", 40}, {"\xc4\xe3", 50}});
  EXPECT_EQ(Keys(table), (std::vector<std::string>{"a", "b", "c", "\xc4\xe3"}));
  EXPECT_EQ(*table.Find(std::string("b")), 1);   // present before the batch
  EXPECT_EQ(*table.Find(std::string("c")), 10);  // first within the batch
  EXPECT_EQ(*table.Find(std::string("a")), 30);
}

TEST(OrderedTableTest, IntegerKeysOrderAsSignedAndDefaultsAreEntered) {
  OrderedTable<int, std::string> table;
  table.MergeKeepingExisting({{3, "c"}, {-1, "m"}, {0, "z"}});
  EXPECT_EQ(table.begin()->first, -1);
  EXPECT_EQ(table.FindOrInsertDefault(7), "");
  EXPECT_EQ(table.size(), 4u);
  EXPECT_EQ(table.FindOrInsertDefault(3), "c");
  table.Clear();
  EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace wenlei
