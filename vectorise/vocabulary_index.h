#ifndef WENLEI_VECTORISE_VOCABULARY_INDEX_H_
#define WENLEI_VECTORISE_VOCABULARY_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "source/source_data.h"
#include "text/character_features.h"

namespace wenlei {

// What a resource set reads of a document (its vocabulary's last word says
// when it reads characters).
FeatureSet FeaturesRead(const SourceData& resourceSet);

// The three tables a document's words go through (vocabulary, idf, term
// map), joined once for a resource set: a word is found by its hash, and
// what the tables say of it is at hand by its number.  A word's number is
// its position in the vocabulary's byte order, so numbers sort as the words
// do, and a document's known words come in the tables' order by sorting
// numbers instead of strings.
class VocabularyIndex {
 public:
  static constexpr std::uint32_t kUnknown = UINT32_MAX;

  // What the tables say of a vocabulary word.
  struct Term {
    double idf = 0.0;  // 0 when the idf table lacks the word
    std::int32_t feature = 0;
    bool mapped = false;         // false: the word takes no part in a vector
    bool addsToFeature = false;  // through a canonical word: its weight adds
  };

  explicit VocabularyIndex(const SourceData& resourceSet);

  // Whether the index was built from the tables as they are now.
  bool Describes(const SourceData& resourceSet) const;

  // The word's number, or kUnknown when the vocabulary lacks it.
  std::uint32_t Find(std::string_view word) const;
  // Find for each of n words, wordAt(i) giving the i-th: calls found(number)
  // for each word the vocabulary knows, in order.  The slots of the words
  // a few places ahead are fetched from memory meanwhile, since a large
  // vocabulary's table lies mostly outside the processor's caches.
  template <typename WordAt, typename Found>
  void FindEach(std::size_t n, const WordAt& wordAt, const Found& found) const {
    constexpr std::size_t kAhead = 8;
    std::uint64_t hashes[kAhead];
    for (std::size_t i = 0; i < n + kAhead; ++i) {
      if (i >= kAhead) {
        const std::size_t at = i - kAhead;
        const std::uint32_t number = FindHashed(wordAt(at), hashes[at % kAhead]);
        if (number != kUnknown) found(number);
      }
      if (i < n) {
        hashes[i % kAhead] = Hash(wordAt(i));
        __builtin_prefetch(&slots_[hashes[i % kAhead] & mask_]);
      }
    }
  }
  // The word of a number, a view of the index's own bytes.
  std::string_view Word(std::uint32_t number) const {
    const std::size_t start = number == 0 ? 0 : ends_[number - 1];
    return std::string_view(bytes_).substr(start, ends_[number] - start);
  }
  const Term& TermOf(std::uint32_t number) const { return terms_[number]; }
  // What the set reads of a document (its vocabulary's last word says).
  const FeatureSet& featuresRead() const { return featuresRead_; }

 private:
  // A slot of the hash table holds a word's first eight bytes and its
  // length beside its number, so that a lookup reads one place of memory
  // and the word's bytes only when it is longer.
  struct Slot {
    std::uint64_t head = 0;
    std::uint32_t length = 0;
    std::uint32_t number = kUnknown;
  };

  static std::uint64_t Hash(std::string_view word);
  std::uint32_t FindHashed(std::string_view word, std::uint64_t hash) const;
  static std::uint64_t Head(std::string_view word);

  std::string bytes_;               // the words back to back
  std::vector<std::size_t> ends_;    // by number
  std::vector<Term> terms_;          // by number
  std::vector<Slot> slots_;  // open addressing
  std::uint64_t mask_ = 0;
  std::uint64_t vocabularyStamp_ = 0;
  std::uint64_t idfStamp_ = 0;
  std::uint64_t termMapStamp_ = 0;
  FeatureSet featuresRead_;
};

}  // namespace wenlei

#endif  // WENLEI_VECTORISE_VOCABULARY_INDEX_H_
