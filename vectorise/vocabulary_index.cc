#include "vectorise/vocabulary_index.h"

#include <cstring>
#include <iterator>

namespace wenlei {

FeatureSet FeaturesRead(const SourceData& resourceSet) {
  const WordIndexTable& vocabulary = resourceSet.wordIndexTable;
  return vocabulary.empty() ? FeatureSet() : FeatureSetOfRecord(std::prev(vocabulary.end())->first);
}

VocabularyIndex::VocabularyIndex(const SourceData& resourceSet)
    : vocabularyStamp_(resourceSet.wordIndexTable.stamp()),
      idfStamp_(resourceSet.idfTable.stamp()),
      termMapStamp_(resourceSet.termMapTable.stamp()),
      featuresRead_(FeaturesRead(resourceSet)) {
  const WordIndexTable& vocabulary = resourceSet.wordIndexTable;
  ends_.reserve(vocabulary.size());
  for (const auto& [word, feature] : vocabulary) {
    bytes_ += word;
    ends_.push_back(bytes_.size());
  }
  std::size_t capacity = 16;
  while (capacity < 2 * vocabulary.size()) capacity *= 2;
  slots_.assign(capacity, Slot());
  mask_ = capacity - 1;
  for (std::uint32_t number = 0; number < ends_.size(); ++number) {
    const std::string_view word = Word(number);
    std::uint64_t slot = Hash(word) & mask_;
    while (slots_[slot].number != kUnknown) slot = (slot + 1) & mask_;
    slots_[slot] = {Head(word), static_cast<std::uint32_t>(word.size()), number};
  }

  // The words come in the tables' order, so each lookup goes on from the
  // last; canonical words come in any order.
  terms_.resize(vocabulary.size());
  auto idfFrom = resourceSet.idfTable.begin();
  auto termFrom = resourceSet.termMapTable.begin();
  std::uint32_t number = 0;
  for (const auto& [word, feature] : vocabulary) {
    Term& term = terms_[number++];
    if (const double* idf = resourceSet.idfTable.FindFrom(word, &idfFrom)) term.idf = *idf;
    const std::string* canonical = resourceSet.termMapTable.FindFrom(word, &termFrom);
    if (canonical == nullptr) continue;
    if (canonical->empty()) {
      term.mapped = true;
      term.feature = feature;
      continue;
    }
    const std::uint32_t canonicalNumber = Find(*canonical);
    if (canonicalNumber == kUnknown) continue;
    term.mapped = true;
    term.addsToFeature = true;
    term.feature = (vocabulary.begin() + canonicalNumber)->second;
  }
}

bool VocabularyIndex::Describes(const SourceData& resourceSet) const {
  return resourceSet.wordIndexTable.stamp() == vocabularyStamp_ &&
         resourceSet.idfTable.stamp() == idfStamp_ &&
         resourceSet.termMapTable.stamp() == termMapStamp_;
}

std::uint32_t VocabularyIndex::Find(std::string_view word) const {
  return FindHashed(word, Hash(word));
}

std::uint32_t VocabularyIndex::FindHashed(std::string_view word, std::uint64_t hash) const {
  const std::uint64_t head = Head(word);
  for (std::uint64_t i = hash & mask_;; i = (i + 1) & mask_) {
    const Slot& slot = slots_[i];
    if (slot.number == kUnknown) return kUnknown;
    if (slot.head == head && slot.length == word.size() &&
        (word.size() <= 8 || Word(slot.number).substr(8) == word.substr(8))) {
      return slot.number;
    }
  }
}

std::uint64_t VocabularyIndex::Head(std::string_view word) {
  std::uint64_t head = 0;
  std::memcpy(&head, word.data(), word.size() < 8 ? word.size() : 8);
  return head;
}

// Words are a few bytes long: eight at a time, each round mixed by a
// multiplication.
std::uint64_t VocabularyIndex::Hash(std::string_view word) {
  std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ word.size();
  std::size_t i = 0;
  for (; i + 8 <= word.size(); i += 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, word.data() + i, 8);
    hash = (hash ^ chunk) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  }
  std::uint64_t rest = 0;
  std::memcpy(&rest, word.data() + i, word.size() - i);
  hash = (hash ^ rest) * 0xC4CEB9FE1A85EC53ull;
  return hash ^ (hash >> 29);
}

}  // namespace wenlei
