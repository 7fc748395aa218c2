#include "train/word_counts.h"

#include <cstring>

namespace wenlei {
namespace {

void Append(std::uint32_t value, std::vector<std::uint8_t>* bytes) {
  while (value >= 0x80) {
    bytes->push_back(static_cast<std::uint8_t>(value | 0x80));
    value >>= 7;
  }
  bytes->push_back(static_cast<std::uint8_t>(value));
}

std::uint32_t Take(const std::uint8_t** next) {
  std::uint32_t value = 0;
  for (int shift = 0;; shift += 7) {
    const std::uint8_t byte = *(*next)++;
    value |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return value;
  }
}

}  // namespace

void WordCounts::Iterator::Read() {
  at_ = next_;
  if (next_ == end_) return;
  current_.word += Take(&next_);
  current_.count = Take(&next_);
}

WordCounts::WordCounts(const std::vector<WordCount>& counts) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(counts.size() * 3);
  std::uint32_t previous = 0;
  for (const WordCount& count : counts) {
    Append(count.word - previous, &bytes);
    Append(count.count, &bytes);
    previous = count.word;
  }
  length_ = static_cast<std::uint32_t>(bytes.size());
  size_ = static_cast<std::uint32_t>(counts.size());
  bytes_.reset(new std::uint8_t[length_]);
  if (length_ > 0) std::memcpy(bytes_.get(), bytes.data(), length_);
}

WordCounts::WordCounts(const WordCounts& other)
    : bytes_(new std::uint8_t[other.length_]), length_(other.length_), size_(other.size_) {
  if (length_ > 0) std::memcpy(bytes_.get(), other.bytes_.get(), length_);
}

WordCounts& WordCounts::operator=(const WordCounts& other) {
  if (this != &other) *this = WordCounts(other);
  return *this;
}

bool WordCounts::operator==(const WordCounts& other) const {
  return size_ == other.size_ && length_ == other.length_ &&
         (length_ == 0 || std::memcmp(bytes_.get(), other.bytes_.get(), length_) == 0);
}

}  // namespace wenlei
