#ifndef WENLEI_VECTORISE_DOCUMENT_FEATURES_H_
#define WENLEI_VECTORISE_DOCUMENT_FEATURES_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "source/source_data.h"
#include "text/character_features.h"
#include "vectorise/document_vector.h"
#include "vectorise/term_weighting.h"
#include "vectorise/vocabulary_index.h"

namespace wenlei {

// A document's words in text order, as views of bytes the caller owns.
class WordSpan {
 public:
  WordSpan(const std::string_view* first, std::size_t count) : first_(first), count_(count) {}
  WordSpan(const std::vector<std::string_view>& words) : WordSpan(words.data(), words.size()) {}

  std::size_t size() const { return count_; }
  std::string_view operator[](std::size_t i) const { return first_[i]; }

 private:
  const std::string_view* first_;
  std::size_t count_;
};

// One known word of a document: its number in the resource set's
// VocabularyIndex, its occurrences and its weight.
struct KnownTerm {
  std::uint32_t number;
  double occurrences;
  double weight;
};

// What the vectorisation makes of one document, as the classification
// uses it: no table per document, so that a document costs its own length.
struct IndexedDocument {
  // Occurrences of words the vocabulary knows; 0 means the document is too
  // short to classify.
  double knownWordCount = 0.0;
  // The known words in the tables' byte order, with their weights.
  std::vector<KnownTerm> terms;
  // Ascending feature number -> weight, rounded as the features were asked
  // for.  Empty when no known word maps to a feature.
  SparseFeatures features;
};

// How a feature's weight is given: rounded to six significant digits, the
// value the model reads from the test file when a document is classified,
// or as computed, the value a model is trained on.
enum class FeatureRounding { kSixSignificantDigits, kNone };

// The features a set reads of a document whose words are given in order:
// its words (unless the set reads characters only) and its runs of
// characters, the latter made in *runs, which the views point into.
std::vector<std::string_view> DocumentTokens(WordSpan words, const FeatureSet& features,
                                             CharacterRuns* runs);

// The one road from the features a set reads of a document (its words, or
// what DocumentTokens made of them) to the model's input, for
// classification and training alike: counts the known ones, weights them
// (averageDocLength being the set's) and maps them onto features.
void VectoriseTokens(WordSpan tokens, const VocabularyIndex& index, double averageDocLength,
                     FeatureRounding rounding, IndexedDocument* document);

// The features of a document's weighted terms (in the tables' byte order),
// unrounded, as the feature mapping joins them.  When sources is given, it
// receives each term that set or added to a feature, in term order: the
// term's position among terms and the feature.
void MapTermsToFeatures(const std::vector<KnownTerm>& terms, const VocabularyIndex& index,
                        SparseFeatures* features,
                        std::vector<std::pair<std::size_t, std::int32_t>>* sources = nullptr);

// The same road with the words as tables: for a caller that vectorises a
// few documents of a set and wants them as the ordered tables of the
// classification's steps.
struct DocumentFeatures {
  double knownWordCount = 0.0;
  // Each known word with its weight.
  TermCounts weightedTerms;
  // Each known word (a view of its key in weightedTerms, valid while that
  // map lives) with its occurrences, in the same order.
  std::vector<std::pair<std::string_view, double>> occurrences;
  FeatureVector features;
};

// Counts, weights and maps a document whose words are given in order, with
// the runs of characters of a set that reads them.  Indexes the set's
// tables first: a caller with many documents keeps a VocabularyIndex.
DocumentFeatures VectoriseWords(WordSpan words, const SourceData& resourceSet,
                                FeatureRounding rounding = FeatureRounding::kSixSignificantDigits);

}  // namespace wenlei

#endif  // WENLEI_VECTORISE_DOCUMENT_FEATURES_H_
