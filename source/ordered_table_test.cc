#include "source/ordered_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
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

namespace wenlei {
namespace {

// Keys that stress the ordering: shared four-byte beginnings (so whole
// strings decide), proper prefixes, empty keys, NUL, 0x01, 0x80 and 0xFF
// bytes, and repeats.
std::vector<std::string> AwkwardKeys(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  const std::string alphabet("\x00\x01\x7f\x80\xff" "ab", 7);
  const std::vector<std::string> stems = {"", "a", "ab", "abcd", "abcde", "\xff\xff\xff\xff",
                                          std::string("\x00\x00", 2)};
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < n; ++i) {
    std::string key = stems[random() % stems.size()];
    for (std::size_t length = random() % 7; length > 0; --length) key += alphabet[random() % alphabet.size()];
    keys.push_back(key);
  }
  return keys;
}

// What one insertion per position gives: ascending keys, first position of each.
std::vector<std::size_t> ReferenceOrder(const std::vector<std::string>& keys) {
  std::map<std::string, std::size_t> first;
  for (std::size_t i = 0; i < keys.size(); ++i) first.emplace(keys[i], i);
  std::vector<std::size_t> order;
  for (const auto& entry : first) order.push_back(entry.second);
  return order;
}

TEST(ByteStringOrderTest, MatchesOneInsertionPerKey) {
  std::vector<std::vector<std::string>> inputs;
  for (std::size_t n : {0u, 1u, 2u, 3u, 40u, 5000u}) inputs.push_back(AwkwardKeys(n, static_cast<unsigned>(n)));
  // More than sixteen keys share their first four bytes, in reverse order.
  inputs.emplace_back();
  for (int i = 40; i >= 0; --i) inputs.back().push_back("same" + std::to_string(i % 25));
  inputs.back().push_back("sam");
  inputs.push_back({"", "a", "ab", "\x80", "\xff"});  // already sorted
  for (const std::vector<std::string>& keys : inputs) {
    auto keyAt = [&keys](std::size_t i) { return std::string_view(keys[i]); };
    EXPECT_EQ(ByteStringOrder(keys.size(), keyAt), ReferenceOrder(keys)) << keys.size() << " keys";
  }
}

TEST(OrderedTableTest, LargeBatchesMergeAsOneInsertionPerEntry) {
  OrderedTable<std::string, int> table, reference;
  for (unsigned seed : {1u, 2u}) {  // into an empty table, then into a full one
    const std::vector<std::string> keys = AwkwardKeys(3000, seed);
    std::vector<OrderedTable<std::string, int>::Entry> batch;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const int value = seed == 1 ? static_cast<int>(i) : -static_cast<int>(i);
      batch.emplace_back(keys[i], value);
      reference.Insert(keys[i], value);
    }
    table.MergeKeepingExisting(batch);
    EXPECT_EQ(table, reference) << "batch " << seed;
  }
}

}  // namespace
}  // namespace wenlei

namespace wenlei {
namespace {

// FindFrom carries where the last search ended; whatever the order of the
// keys asked, it must answer exactly as Find does.
TEST(OrderedTableTest, FindFromAnswersAsFindForAnyOrderOfKeys) {
  OrderedTable<std::string, int> table;
  std::vector<OrderedTable<std::string, int>::Entry> batch;
  const std::vector<std::string> keys = AwkwardKeys(2000, 3);
  for (std::size_t i = 0; i < keys.size(); ++i) batch.emplace_back(keys[i], static_cast<int>(i));
  table.MergeKeepingExisting(batch);

  std::vector<std::string> asked = AwkwardKeys(3000, 4);  // present and absent keys
  std::vector<std::vector<std::string>> orders = {asked, asked, asked};
  std::sort(orders[1].begin(), orders[1].end());
  std::sort(orders[2].rbegin(), orders[2].rend());
  for (const auto& order : orders) {
    auto from = table.begin();
    for (const std::string& key : order) {
      const int* expected = table.Find(key);
      const int* found = table.FindFrom(key, &from);
      ASSERT_EQ(found, expected) << "key of " << key.size() << " bytes";
    }
  }
  OrderedTable<std::string, int> empty;
  auto from = empty.begin();
  EXPECT_EQ(empty.FindFrom(std::string("a"), &from), nullptr);
}

}  // namespace
}  // namespace wenlei
