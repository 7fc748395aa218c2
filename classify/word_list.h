#ifndef WENLEI_CLASSIFY_WORD_LIST_H_
#define WENLEI_CLASSIFY_WORD_LIST_H_

#include <cstddef>
#include <string_view>
#include <vector>

#include "wenlei/exports.h"

namespace wenlei {

// Read-only view of the host's word list.
class WordListView {
 public:
  explicit WordListView(const WordList& list) : list_(list) {}

  std::size_t size() const {
    if (list_.first == nullptr) return 0;
    auto bytes = reinterpret_cast<const char*>(list_.end) -
                 reinterpret_cast<const char*>(list_.first);
    return bytes <= 0 ? 0 : static_cast<std::size_t>(bytes) / sizeof(WordEntry);
  }

  // The i-th word's bytes: inline below the capacity limit, else at the
  // stored address.
  std::string_view operator[](std::size_t i) const {
    const WordEntry& entry = list_.first[i];
    if (entry.capacity < WENLEI_INLINE_CAPACITY_LIMIT) {
      // A well-formed inline text is shorter than its capacity; never read
      // past the record for one that claims more.
      std::size_t length = entry.length < sizeof entry.text.inline_bytes
                               ? entry.length
                               : sizeof entry.text.inline_bytes;
      return std::string_view(entry.text.inline_bytes, length);
    }
    return std::string_view(entry.text.address, entry.length);
  }

  std::vector<std::string_view> Views() const {
    std::vector<std::string_view> views(size());
    for (std::size_t i = 0; i < views.size(); ++i) views[i] = (*this)[i];
    return views;
  }

 private:
  const WordList& list_;
};

}  // namespace wenlei

#endif  // WENLEI_CLASSIFY_WORD_LIST_H_
