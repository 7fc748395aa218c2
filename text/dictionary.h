#ifndef WENLEI_TEXT_DICTIONARY_H_
#define WENLEI_TEXT_DICTIONARY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/status.h"

namespace wenlei {

// The segmenter's word list: every word with the log of its relative
// frequency, and every proper prefix of a word so that a scan can stop as
// soon as no longer word is possible.
//
// The file holds one "word frequency [tag]" line per word, UTF-8, fields
// separated by spaces or tabs (jieba's dict.txt format).  A word listed twice
// takes its last frequency; every line adds to the total.  A frequency of 0
// keeps the entry out of the words but its prefixes in.
class Dictionary {
 public:
  // The most characters a word may have; the usual dictionaries' longest
  // words have some sixteen.
  static constexpr std::size_t kLongestWord = 64;

  struct Entry {
    double logProbability;  // log(frequency / total); meaningful for words only
    bool isWord;            // false for an entry that is only a prefix of words
  };

  // Reads and indexes a dictionary file into *dictionary.  On failure leaves
  // *dictionary alone and describes the fault in one line (with the line
  // number): kNotFound when the file cannot be opened, kCorrupt when it
  // holds no dictionary.
  static Status Load(const std::string& path, std::unique_ptr<Dictionary>* dictionary);

  // Indexes dictionary text held in memory; source names it in errors.
  static Status Parse(std::string text, const std::string& source,
                      std::unique_ptr<Dictionary>* dictionary);

  // The entry of a word or of a proper prefix of a word; null for any other
  // text.
  const Entry* Find(std::string_view text) const;

  // What a character or letter run that is no word scores: a frequency of 1.
  double unknownLogProbability() const { return unknownLogProbability_; }

  std::size_t wordCount() const { return wordCount_; }

 private:
  struct Slot {
    const char* data = nullptr;  // null: empty slot
    std::uint32_t length = 0;
    Entry entry{0.0, false};  // holds the frequency itself while loading
  };

  Dictionary() = default;
  Status Index(const std::string& source);
  void Reserve(std::size_t entries);
  // The slot of key, entered as a prefix when it is new; and whether it is.
  std::pair<Slot*, bool> Claim(std::string_view key);
  std::size_t Home(std::string_view key) const;

  std::string text_;  // the file's bytes; every key points into it
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t entryCount_ = 0;  // words and prefixes
  std::size_t wordCount_ = 0;
  double unknownLogProbability_ = 0.0;
};

}  // namespace wenlei

#endif  // WENLEI_TEXT_DICTIONARY_H_
