#ifndef WENLEI_SOURCE_ORDERED_TABLE_H_
#define WENLEI_SOURCE_ORDERED_TABLE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace wenlei {

// Byte strings in the tables' order: bytes compared as unsigned, a proper
// prefix first.  Comparisons among words mostly decide on the first two
// bytes (one GBK character), so those are compared inline and only the rest
// through the library's comparison.
inline bool ByteStringLess(std::string_view a, std::string_view b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < 2 && i < common; ++i) {
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
  }
  return a < b;
}

// Calls emit(first, count) for each distinct key of n byte-string keys, in
// ascending key order: first is the key's first position among 0 to n-1,
// count how often it occurs.  keyAt(i) gives the i-th key as a
// std::string_view.
//
// A resource file's sections hold hundreds of thousands of short words, so
// instead of comparing strings the keys are ordered by their first four
// bytes read as a big-endian number (a stable radix sort, one byte per pass,
// skipping passes where every key has the same byte), and only runs that
// share those four bytes are compared as whole strings.  Keys already in
// strictly ascending order are recognised first.
template <typename KeyAt, typename Emit>
void ForEachByteStringRun(std::size_t n, const KeyAt& keyAt, const Emit& emit) {
  bool ascending = true;
  for (std::size_t i = 1; i < n && ascending; ++i) ascending = ByteStringLess(keyAt(i - 1), keyAt(i));
  if (ascending) {
    for (std::size_t i = 0; i < n; ++i) emit(i, std::size_t{1});
    return;
  }

  // Section counts are 32-bit, so a position fits 32 bits and a slot 8 bytes.
  struct Slot {
    std::uint32_t prefix;
    std::uint32_t index;
  };
  std::vector<Slot> slots(n), scratch(n);
  std::uint32_t counts[4][256] = {};
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view key = keyAt(i);
    std::uint32_t prefix = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      prefix = prefix << 8 | (k < key.size() ? static_cast<unsigned char>(key[k]) : 0u);
    }
    slots[i] = {prefix, static_cast<std::uint32_t>(i)};
    for (int pass = 0; pass < 4; ++pass) ++counts[pass][prefix >> (8 * pass) & 0xFF];
  }
  for (int pass = 0; pass < 4; ++pass) {
    std::uint32_t* count = counts[pass];
    if (std::find(count, count + 256, n) != count + 256) continue;  // one digit for all
    std::uint32_t start = 0;
    for (int digit = 0; digit < 256; ++digit) start += std::exchange(count[digit], start);
    for (const Slot& slot : slots) scratch[count[slot.prefix >> (8 * pass) & 0xFF]++] = slot;
    slots.swap(scratch);
  }

  auto key = [&keyAt](const Slot& slot) { return keyAt(slot.index); };
  auto less = [&key](const Slot& a, const Slot& b) { return ByteStringLess(key(a), key(b)); };
  // Keys of one run share their first four bytes, so keys of the same length
  // up to four bytes are equal without looking further.
  auto same = [&key](const Slot& a, const Slot& b) {
    const std::string_view x = key(a), y = key(b);
    return x.size() == y.size() &&
           (x.size() <= 4 || x.substr(4) == y.substr(4));
  };
  for (std::size_t begin = 0; begin < n;) {
    std::size_t end = begin + 1;
    bool allEqual = true;  // a word repeated within a document, typically
    for (; end < n && slots[end].prefix == slots[begin].prefix; ++end) {
      allEqual = allEqual && same(slots[end], slots[begin]);
    }
    if (allEqual) {
      emit(std::size_t{slots[begin].index}, end - begin);
      begin = end;
      continue;
    }
    // Within a run the slots are in position order; a stable sort on the
    // whole keys keeps it among equal keys, so the first one leads.
    if (end - begin <= 16) {
      for (std::size_t i = begin + 1; i < end; ++i) {
        const Slot slot = slots[i];
        std::size_t j = i;
        for (; j > begin && less(slot, slots[j - 1]); --j) slots[j] = slots[j - 1];
        slots[j] = slot;
      }
    } else {
      std::stable_sort(slots.begin() + begin, slots.begin() + end, less);
    }
    for (std::size_t group = begin; group < end;) {
      std::size_t next = group + 1;
      while (next < end && same(slots[next], slots[group])) ++next;
      emit(std::size_t{slots[group].index}, next - group);
      group = next;
    }
    begin = end;
  }
}

// The positions 0 to n-1 of n byte-string keys in ascending key order, with
// only the first position of each key (see ForEachByteStringRun).
template <typename KeyAt>
std::vector<std::size_t> ByteStringOrder(std::size_t n, const KeyAt& keyAt) {
  std::vector<std::size_t> order;
  order.reserve(n);
  ForEachByteStringRun(n, keyAt, [&order](std::size_t first, std::size_t) { order.push_back(first); });
  return order;
}

// A table with unique keys kept in ascending order in one contiguous vector.
// Byte-string keys order as unsigned bytes with a proper prefix first, which
// is what std::string's comparison does (char_traits<char> compares bytes as
// unsigned char).  The first insertion of a key wins: inserting a present key
// leaves the table unchanged.
//
// Lookups are binary searches; bulk loads sort once (MergeKeepingExisting)
// rather than inserting record by record.
template <typename Key, typename Value>
class OrderedTable {
 public:
  using Entry = std::pair<Key, Value>;
  using const_iterator = typename std::vector<Entry>::const_iterator;

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
    return it->second;
  }

  // Inserts (key, value) unless key is present.  Returns true when inserted.
  bool Insert(Key key, Value value) {
    auto it = LowerBound(key);
    if (it != entries_.end() && !Less(key, it->first)) return false;
    entries_.insert(it, Entry(std::move(key), std::move(value)));
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

  std::vector<Entry> entries_;
};

}  // namespace wenlei

#endif  // WENLEI_SOURCE_ORDERED_TABLE_H_
