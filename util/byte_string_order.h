#ifndef WENLEI_UTIL_BYTE_STRING_ORDER_H_
#define WENLEI_UTIL_BYTE_STRING_ORDER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
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

}  // namespace wenlei

#endif  // WENLEI_UTIL_BYTE_STRING_ORDER_H_
