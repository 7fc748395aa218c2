#ifndef WENLEI_TRAIN_WORD_COUNTS_H_
#define WENLEI_TRAIN_WORD_COUNTS_H_

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

namespace wenlei {

// How often a document holds one word: the word's number in
// Corpus::distinctWords and its occurrences.
struct WordCount {
  std::uint32_t word = 0;
  std::uint32_t count = 0;
};

// A document's word counts by ascending word number, packed: each word as
// its distance from the previous one and each count in as few bytes as they
// take (seven bits a byte), about three bytes a word instead of eight.  A
// corpus of a million documents holds a few hundred million of them.
class WordCounts {
 public:
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = WordCount;
    using difference_type = std::ptrdiff_t;
    using pointer = const WordCount*;
    using reference = const WordCount&;

    Iterator(const std::uint8_t* next, const std::uint8_t* end) : next_(next), end_(end) { Read(); }
    const WordCount& operator*() const { return current_; }
    const WordCount* operator->() const { return &current_; }
    Iterator& operator++() {
      Read();
      return *this;
    }
    bool operator==(const Iterator& other) const { return at_ == other.at_; }
    bool operator!=(const Iterator& other) const { return at_ != other.at_; }

   private:
    void Read();

    const std::uint8_t* at_ = nullptr;  // where current_ was read from
    const std::uint8_t* next_;
    const std::uint8_t* end_;
    WordCount current_;
  };

  WordCounts() = default;
  // counts by strictly ascending word.
  explicit WordCounts(const std::vector<WordCount>& counts);
  WordCounts(const WordCounts& other);
  WordCounts& operator=(const WordCounts& other);
  WordCounts(WordCounts&&) noexcept = default;
  WordCounts& operator=(WordCounts&&) noexcept = default;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  Iterator begin() const { return Iterator(bytes_.get(), bytes_.get() + length_); }
  Iterator end() const { return Iterator(bytes_.get() + length_, bytes_.get() + length_); }
  std::vector<WordCount> ToVector() const { return {begin(), end()}; }

  // Equal counts are equal bytes.
  bool operator==(const WordCounts& other) const;

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::uint32_t length_ = 0;
  std::uint32_t size_ = 0;
};

}  // namespace wenlei

#endif  // WENLEI_TRAIN_WORD_COUNTS_H_
