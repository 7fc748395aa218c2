#ifndef WENLEI_VECTORISE_DOCUMENT_FEATURES_H_
#define WENLEI_VECTORISE_DOCUMENT_FEATURES_H_

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "source/source_data.h"
#include "text/character_features.h"
#include "vectorise/document_vector.h"
#include "vectorise/term_weighting.h"

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

// What the vectorisation makes of one document.
struct DocumentFeatures {
  // Occurrences of words the vocabulary knows; 0 means the document is too
  // short to classify.
  double knownWordCount = 0.0;
  // Each known word with its weight.
  TermCounts weightedTerms;
  // Each known word (a view of its key in weightedTerms, valid while that
  // map lives) with its occurrences, in the same order.
  std::vector<std::pair<std::string_view, double>> occurrences;
  // Feature number -> weight, rounded as the features were asked for.
  // Empty when no known word maps to a feature.
  FeatureVector features;
};

// How a feature's weight is given: rounded to six significant digits, the
// value the model reads from the test file when a document is classified,
// or as computed, the value a model is trained on.
enum class FeatureRounding { kSixSignificantDigits, kNone };

// What a resource set reads of a document (its vocabulary's last word says
// when it reads characters).
FeatureSet FeaturesRead(const SourceData& resourceSet);

// The features a set reads of a document whose words are given in order:
// its words (unless the set reads characters only) and its runs of
// characters, the latter made in *runs, which the views point into.
std::vector<std::string_view> DocumentTokens(WordSpan words, const FeatureSet& features,
                                             CharacterRuns* runs);

// The one road from words to the model's input, for classification and
// training alike: counts the known words (and runs of characters, in a set
// that reads them), weights them and maps them onto features of the
// resource set.
DocumentFeatures VectoriseWords(WordSpan words, const SourceData& resourceSet,
                                FeatureRounding rounding = FeatureRounding::kSixSignificantDigits);

// The same for the features DocumentTokens made of a document.
DocumentFeatures VectoriseTokens(WordSpan tokens, const SourceData& resourceSet,
                                 FeatureRounding rounding = FeatureRounding::kSixSignificantDigits);

}  // namespace wenlei

#endif  // WENLEI_VECTORISE_DOCUMENT_FEATURES_H_
