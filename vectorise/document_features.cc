#include "vectorise/document_features.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "util/number_text.h"
#include "vectorise/word_counting.h"

namespace wenlei {

FeatureSet FeaturesRead(const SourceData& resourceSet) {
  const WordIndexTable& vocabulary = resourceSet.wordIndexTable;
  return vocabulary.empty() ? FeatureSet() : FeatureSetOfRecord(std::prev(vocabulary.end())->first);
}

std::vector<std::string_view> DocumentTokens(WordSpan words, const FeatureSet& features,
                                             CharacterRuns* runs) {
  std::vector<std::string_view> tokens(words.size());
  for (std::size_t i = 0; i < words.size(); ++i) tokens[i] = words[i];
  FormCharacterRuns(tokens, features, runs);
  tokens.erase(std::remove_if(tokens.begin(), tokens.end(),
                              [&features](std::string_view word) { return !ReadsAsWord(features, word); }),
               tokens.end());
  tokens.insert(tokens.end(), runs->runs.begin(), runs->runs.end());
  return tokens;
}

DocumentFeatures VectoriseWords(WordSpan words, const SourceData& resourceSet,
                                FeatureRounding rounding) {
  const FeatureSet features = FeaturesRead(resourceSet);
  if (!features.characters()) return VectoriseTokens(words, resourceSet, rounding);
  CharacterRuns runs;
  return VectoriseTokens(DocumentTokens(words, features, &runs), resourceSet, rounding);
}

DocumentFeatures VectoriseTokens(WordSpan words, const SourceData& resourceSet,
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
