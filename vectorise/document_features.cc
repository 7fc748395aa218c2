#include "vectorise/document_features.h"

#include <algorithm>
#include <string>

#include "util/number_text.h"

namespace wenlei {

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

namespace {

// Each occurrence of a word the vocabulary knows adds 1.0 to its count and
// to the document's length.  The counts are whole numbers, so adding a
// word's occurrences at once gives exactly the sums that adding 1.0 per
// occurrence would, in any order.
void CountKnownTerms(WordSpan tokens, const VocabularyIndex& index, IndexedDocument* document) {
  std::vector<std::uint32_t> numbers;
  numbers.reserve(tokens.size());
  index.FindEach(
      tokens.size(), [&tokens](std::size_t i) { return tokens[i]; },
      [&numbers](std::uint32_t number) { numbers.push_back(number); });
  // Numbers sort as the words do: the tables' order.
  std::sort(numbers.begin(), numbers.end());
  for (std::size_t i = 0; i < numbers.size();) {
    std::size_t next = i + 1;
    while (next < numbers.size() && numbers[next] == numbers[i]) ++next;
    document->terms.push_back({numbers[i], static_cast<double>(next - i), 0.0});
    i = next;
  }
  document->knownWordCount = static_cast<double>(numbers.size());
}

// WeightTerms on the known terms, in the same order.
void WeighKnownTerms(const VocabularyIndex& index, double knownWordCount, double averageDocLength,
                     std::vector<KnownTerm>* terms) {
  DocumentWeighting weighting(knownWordCount, averageDocLength);
  for (KnownTerm& term : *terms) {
    term.weight = weighting.Weigh(term.occurrences, index.TermOf(term.number).idf);
  }
  if (!weighting.HasLength()) return;
  const double factor = weighting.UnitLengthFactor();
  for (KnownTerm& term : *terms) term.weight = factor * term.weight;
}

}  // namespace

void MapTermsToFeatures(const std::vector<KnownTerm>& terms, const VocabularyIndex& index,
                        SparseFeatures* features,
                        std::vector<std::pair<std::size_t, std::int32_t>>* sources) {
  std::vector<FeatureContribution> contributions;
  std::vector<std::size_t> contributors;
  contributions.reserve(terms.size());
  for (std::size_t i = 0; i < terms.size(); ++i) {
    const VocabularyIndex::Term& term = index.TermOf(terms[i].number);
    if (!term.mapped) continue;
    contributions.push_back({term.feature, terms[i].weight, term.addsToFeature});
    if (sources != nullptr) contributors.push_back(i);
  }
  if (sources == nullptr) return JoinContributions(contributions, features);
  std::vector<bool> joined;
  JoinContributions(contributions, features, &joined);
  for (std::size_t k = 0; k < contributions.size(); ++k) {
    if (joined[k]) sources->emplace_back(contributors[k], contributions[k].feature);
  }
}

void VectoriseTokens(WordSpan tokens, const VocabularyIndex& index, double averageDocLength,
                     FeatureRounding rounding, IndexedDocument* document) {
  document->terms.clear();
  document->features.clear();
  CountKnownTerms(tokens, index, document);
  if (document->terms.empty()) return;
  WeighKnownTerms(index, document->knownWordCount, averageDocLength, &document->terms);
  MapTermsToFeatures(document->terms, index, &document->features);
  if (rounding == FeatureRounding::kNone) return;
  for (auto& feature : document->features) feature.second = RoundToSixSignificantDigits(feature.second);
}

DocumentFeatures VectoriseWords(WordSpan words, const SourceData& resourceSet,
                                FeatureRounding rounding) {
  const VocabularyIndex index(resourceSet);
  const FeatureSet& features = index.featuresRead();
  CharacterRuns runs;
  std::vector<std::string_view> tokens;
  if (features.characters()) tokens = DocumentTokens(words, features, &runs);
  IndexedDocument indexed;
  VectoriseTokens(features.characters() ? WordSpan(tokens) : words, index,
                  resourceSet.averageDocLength, rounding, &indexed);
  DocumentFeatures document;
  document.knownWordCount = indexed.knownWordCount;
  for (const KnownTerm& term : indexed.terms) {
    const auto entry = document.weightedTerms.emplace_hint(
        document.weightedTerms.end(), std::string(index.Word(term.number)), term.weight);
    document.occurrences.emplace_back(entry->first, term.occurrences);
  }
  document.features.insert(indexed.features.begin(), indexed.features.end());
  return document;
}

}  // namespace wenlei
