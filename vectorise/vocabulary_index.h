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
