#include "tools/host/host_word_list.h"

#include <cstring>

namespace wenlei {

HostWordList::HostWordList(std::vector<std::string> gbkWords) : words_(std::move(gbkWords)) {
  entries_.resize(words_.size());
  for (std::size_t i = 0; i < words_.size(); ++i) {
    const std::string& word = words_[i];
    WordEntry& entry = entries_[i];
    std::memset(&entry, 0, sizeof entry);
    entry.length = word.size();
    if (word.size() < WENLEI_INLINE_CAPACITY_LIMIT) {
      std::memcpy(entry.text.inline_bytes, word.data(), word.size());
      entry.capacity = WENLEI_INLINE_CAPACITY_LIMIT - 1;
    } else {
      entry.text.address = word.data();
      entry.capacity = word.capacity();
    }
  }
  list_.reserved_begin = nullptr;
  list_.first = entries_.empty() ? nullptr : entries_.data();
  list_.end = entries_.empty() ? nullptr : entries_.data() + entries_.size();
  list_.reserved_end = nullptr;
}

}  // namespace wenlei
