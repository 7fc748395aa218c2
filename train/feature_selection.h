#ifndef WENLEI_TRAIN_FEATURE_SELECTION_H_
#define WENLEI_TRAIN_FEATURE_SELECTION_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <string>
#include <unordered_map>
#include <vector>

#include "train/corpus.h"

namespace wenlei {

// A candidate feature: a canonical word together with its variants from the
// synonyms file, or a word that has none and stands alone.
struct RankedUnit {
  std::string unit;               // the canonical word (GBK)
  double score = 0.0;             // chi-square, the largest over the classes
  std::size_t documentFrequency;  // documents holding any member
};

// Document frequencies of words and units over a training corpus, and the
// chi-square ranking of units that the trainer selects features from.
class FeatureStatistics {
 public:
  // Over the documents of the corpus that subset lists (all when null),
  // from their word counts; the corpus must outlive the statistics.
  FeatureStatistics(const Corpus& corpus, const SynonymTable& synonyms,
                    const std::vector<std::size_t>* subset = nullptr);

  // Units held by at least minDocumentFrequency documents, best first: by
  // chi-square score descending, ties by the unit's bytes ascending.  The
  // score of a unit is max over classes c of
  //   N (AD - BC)^2 / ((A+B)(C+D)(A+C)(B+D))
  // with A/B the documents of c / not of c that hold the unit, C/D those
  // that do not.
  //
  // Only units that keep (when given) keeps take part: in turns over the
  // classes, a unit left out takes no class's turn.
  using UnitFilter = std::function<bool(std::string_view unit)>;
  std::vector<RankedUnit> Rank(std::size_t minDocumentFrequency, const UnitFilter& keep = nullptr) const;

  // The same units in turns over the classes: each class in order of class
  // number contributes its best unit not yet taken, ranked by its own
  // chi-square among the units that occur more often in it than elsewhere
  // (AD > BC), until every class has run out; the units left follow in the
  // order of Rank.  A small class thus gets as many of the first k places as
  // a large one, whose words otherwise fill them.
  std::vector<RankedUnit> RankByClassTurns(std::size_t minDocumentFrequency,
                                           const UnitFilter& keep = nullptr) const;

  // Documents holding the word itself (not its unit); 0 for an unseen word.
  std::size_t WordDocumentFrequency(const std::string& word) const;

  // The words that make up a unit: the unit itself and its variants, in
  // ascending byte order.
  std::vector<std::string> Members(const std::string& unit) const;

  std::size_t documents() const { return documents_; }

 private:
  // Units by number, best first, as Rank orders them.
  std::vector<std::uint32_t> RankedUnits(std::size_t minDocumentFrequency, const UnitFilter& keep,
                                         std::vector<double>* scores) const;
  std::size_t DocumentsHolding(std::uint32_t unit, std::size_t c) const {
    return perClass_[unit * classSizes_.size() + c];
  }

  const std::string& UnitName(std::uint32_t unit) const {
    return unitNames_.empty() ? words_[unit] : unitNames_[unit];
  }

  const std::vector<std::string>& words_;  // the corpus's distinct words
  std::size_t documents_;
  std::vector<std::size_t> classSizes_;
  std::vector<std::string> unitNames_;  // empty without synonyms: units are words
  std::vector<std::uint32_t> unitDocuments_;  // documents holding any member
  std::vector<std::uint32_t> perClass_;       // the same by class: unit * classes + class
  std::vector<std::uint32_t> wordDocuments_;  // by the word's number
  std::unordered_map<std::string, std::vector<std::string>> variantsOf_;
};

}  // namespace wenlei

#endif  // WENLEI_TRAIN_FEATURE_SELECTION_H_
