#ifndef WENLEI_SOURCE_ORDERED_TABLE_H_
#define WENLEI_SOURCE_ORDERED_TABLE_H_

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "util/byte_string_order.h"

namespace wenlei {

// A table with unique keys kept in ascending order in one contiguous vector.
// Byte-string keys order as unsigned bytes with a proper prefix first, which
// is what std::string's comparison does (char_traits<char> compares bytes as
// unsigned char).  The first insertion of a key wins: inserting a present key
// leaves the table unchanged.
//
// Lookups are binary searches; bulk loads sort once (MergeKeepingExisting)
// rather than inserting record by record.
//
// Every change gives the table a new stamp, one no table of its kind in the
// process has had before, so that what is derived from a table's contents
// can tell whether it still describes them: equal stamps, equal contents.
template <typename Key, typename Value>
class OrderedTable {
 public:
  using Entry = std::pair<Key, Value>;
  using const_iterator = typename std::vector<Entry>::const_iterator;

  OrderedTable() = default;
  OrderedTable(const OrderedTable&) = default;
  OrderedTable& operator=(const OrderedTable&) = default;
  // The table moved from is left empty, and so changed.
  OrderedTable(OrderedTable&& other) noexcept
      : entries_(std::move(other.entries_)), stamp_(std::exchange(other.stamp_, NewStamp())) {
    other.entries_.clear();
  }
  OrderedTable& operator=(OrderedTable&& other) noexcept {
    entries_ = std::move(other.entries_);
    other.entries_.clear();
    stamp_ = std::exchange(other.stamp_, NewStamp());
    return *this;
  }

  std::uint64_t stamp() const { return stamp_; }

  template <typename Probe>
  const Value* Find(const Probe& key) const {
    auto it = LowerBound(key);
    if (it == entries_.end() || Less(key, it->first)) return nullptr;
    return &it->second;
  }

  template <typename Probe>
  bool Contains(const Probe& key) const {
    return Find(key) != nullptr;
  }

  // Find for a series of keys in ascending order, such as the words of an
  // ordered table: *from holds where the previous search ended (begin() for
  // the first) and the search gallops forward from there, doubling its
  // stride, so nearby keys cost a few comparisons instead of a search of
  // the whole table.  A key not above the entry before *from is searched for
  // before *from instead, so any order gives the right answer.
  template <typename Probe>
  const Value* FindFrom(const Probe& key, const_iterator* from) const {
    auto low = *from;
    auto high = entries_.end();
    if (low != entries_.begin() && !Less((low - 1)->first, key)) {
      high = low;
      low = entries_.begin();
    } else {
      // Every entry before low is below key; probe low, low + 1, low + 3,
      // low + 7, ... until an entry is not.
      for (std::size_t stride = 1; low < high; stride *= 2) {
        auto probe = static_cast<std::size_t>(high - low) > stride ? low + (stride - 1) : high - 1;
        if (!Less(probe->first, key)) {
          high = probe + 1;
          break;
        }
        low = probe + 1;
      }
    }
    auto it = std::lower_bound(low, high, key,
                               [](const Entry& e, const Probe& k) { return Less(e.first, k); });
    *from = it;
    if (it == entries_.end() || Less(key, it->first)) return nullptr;
    return &it->second;
  }

  // Returns the value under key, entering key with a default value first when
  // it is missing.
  Value& FindOrInsertDefault(const Key& key) {
    auto it = LowerBound(key);
    if (it == entries_.end() || Less(key, it->first)) {
      it = entries_.insert(it, Entry(key, Value()));
    }
    // The caller may change the value through the reference.
    stamp_ = NewStamp();
    return it->second;
  }

  // Inserts (key, value) unless key is present.  Returns true when inserted.
  bool Insert(Key key, Value value) {
    auto it = LowerBound(key);
    if (it != entries_.end() && !Less(key, it->first)) return false;
    entries_.insert(it, Entry(std::move(key), std::move(value)));
    stamp_ = NewStamp();
    return true;
  }

  // Inserts every entry of batch, in batch order, with first-insertion-wins:
  // keys already in the table keep their values, and a key repeated within
  // the batch keeps the value of its first occurrence.
  void MergeKeepingExisting(std::vector<Entry> batch) {
    SortKeepingFirst(batch);
    MergeOrderedKeepingExisting(std::move(batch));
  }

  // MergeKeepingExisting for a batch already in ascending key order without
  // repeated keys, as ByteStringOrder arranges one.
  void MergeOrderedKeepingExisting(std::vector<Entry> batch) {
    stamp_ = NewStamp();
    if (entries_.empty()) {
      entries_ = std::move(batch);
      return;
    }
    std::vector<Entry> merged;
    merged.reserve(entries_.size() + batch.size());
    auto old_it = entries_.begin();
    auto new_it = batch.begin();
    while (old_it != entries_.end() || new_it != batch.end()) {
      if (new_it == batch.end() || (old_it != entries_.end() && old_it->first < new_it->first)) {
        merged.push_back(std::move(*old_it++));
      } else if (old_it == entries_.end() || new_it->first < old_it->first) {
        merged.push_back(std::move(*new_it++));
      } else {
        merged.push_back(std::move(*old_it++));
        ++new_it;
      }
    }
    entries_ = std::move(merged);
  }

  void Clear() {
    std::vector<Entry>().swap(entries_);
    stamp_ = NewStamp();
  }

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  bool operator==(const OrderedTable& other) const { return entries_ == other.entries_; }

 private:
  template <typename A, typename B>
  static bool Less(const A& a, const B& b) {
    if constexpr (std::is_same_v<Key, std::string>) {
      return ByteStringLess(std::string_view(a), std::string_view(b));
    } else {
      return a < b;
    }
  }

  template <typename Probe>
  typename std::vector<Entry>::const_iterator LowerBound(const Probe& key) const {
    return std::lower_bound(entries_.begin(), entries_.end(), key,
                            [](const Entry& e, const Probe& k) { return Less(e.first, k); });
  }
  template <typename Probe>
  typename std::vector<Entry>::iterator LowerBound(const Probe& key) {
    return std::lower_bound(entries_.begin(), entries_.end(), key,
                            [](const Entry& e, const Probe& k) { return Less(e.first, k); });
  }

  // Orders batch by key, keeping only the first occurrence of each key.
  static void SortKeepingFirst(std::vector<Entry>& batch) {
    bool ascending = true;  // files written from ordered tables come sorted
    for (std::size_t i = 1; i < batch.size() && ascending; ++i) {
      ascending = batch[i - 1].first < batch[i].first;
    }
    if (ascending) return;
    if constexpr (std::is_same_v<Key, std::string>) {
      std::vector<std::size_t> order =
          ByteStringOrder(batch.size(), [&batch](std::size_t i) -> std::string_view {
            return batch[i].first;
          });
      std::vector<Entry> sorted;
      sorted.reserve(order.size());
      for (std::size_t i : order) sorted.push_back(std::move(batch[i]));
      batch = std::move(sorted);
    } else {
      std::stable_sort(batch.begin(), batch.end(),
                       [](const Entry& a, const Entry& b) { return a.first < b.first; });
      batch.erase(std::unique(batch.begin(), batch.end(),
                              [](const Entry& a, const Entry& b) { return a.first == b.first; }),
                  batch.end());
    }
  }

  static std::uint64_t NewStamp() {
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
  }

  std::vector<Entry> entries_;
  std::uint64_t stamp_ = NewStamp();
};

}  // namespace wenlei

#endif  // WENLEI_SOURCE_ORDERED_TABLE_H_
