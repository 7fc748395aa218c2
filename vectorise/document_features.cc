#include "vectorise/document_features.h"

#include "util/number_text.h"
#include "vectorise/word_counting.h"

namespace wenlei {

DocumentFeatures VectoriseWords(WordSpan words, const SourceData& resourceSet,
                                FeatureRounding rounding) {
  DocumentFeatures document;
  document.weightedTerms = CountKnownWords(
      words.size(), [&words](std::size_t i) { return words[i]; }, resourceSet.wordIndexTable,
      &document.knownWordCount);
  if (document.weightedTerms.empty()) return document;
  document.occurrences.reserve(document.weightedTerms.size());
  for (const auto& [word, count] : document.weightedTerms) document.occurrences.emplace_back(word, count);
  WeightTerms(document.weightedTerms, document.knownWordCount, resourceSet.idfTable,
              resourceSet.averageDocLength);
  DocumentVector vector;
  vector.BuildFeatures(document.weightedTerms, resourceSet.termMapTable,
                       resourceSet.wordIndexTable);
  for (const auto& [feature, weight] : vector.features()) {
    document.features.emplace_hint(
        document.features.end(), feature,
        rounding == FeatureRounding::kNone ? weight : RoundToSixSignificantDigits(weight));
  }
  return document;
}

}  // namespace wenlei
