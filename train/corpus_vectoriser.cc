#include "train/corpus_vectoriser.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "vectorise/term_weighting.h"

namespace wenlei {
namespace {

// The number of a word among the corpus's distinct words, or -1.
std::int64_t NumberOf(const std::vector<std::string>& words, const std::string& word) {
  auto it = std::lower_bound(words.begin(), words.end(), word);
  return it == words.end() || *it != word ? -1 : it - words.begin();
}

}  // namespace

CorpusVectoriser::CorpusVectoriser(const Corpus& corpus, const SourceFileContents& contents,
                                   const FeatureSet& reads)
    : corpus_(corpus), entries_(corpus.distinctWords.size()) {
  const std::vector<std::string>& words = corpus.distinctWords;
  for (std::size_t w = 0; w < words.size(); ++w) {
    entries_[w].content = FeatureSetReads(reads, words[w]) && IsGbkContentWord(words[w]);
  }
  // Feature numbers are positions in the vocabulary, from 1.
  std::unordered_map<std::string_view, std::int32_t> featureOf;
  featureOf.reserve(contents.vocabulary.size());
  for (std::size_t i = 0; i < contents.vocabulary.size(); ++i) {
    featureOf.emplace(contents.vocabulary[i], static_cast<std::int32_t>(i + 1));
    const std::int64_t w = NumberOf(words, contents.vocabulary[i]);
    if (w >= 0) entries_[w].known = true;
  }
  for (const auto& [word, idf] : contents.idf) {
    const std::int64_t w = NumberOf(words, word);
    if (w >= 0) entries_[w].idf = idf;
  }
  for (const auto& [word, canonical] : contents.termMap) {
    const std::int64_t w = NumberOf(words, word);
    if (w < 0 || entries_[w].mapped) continue;
    WordEntry& entry = entries_[w];
    entry.mapped = true;
    entry.addsToFeature = !canonical.empty();
    auto feature = featureOf.find(canonical.empty() ? std::string_view(word) : canonical);
    entry.feature = feature == featureOf.end() ? 0 : feature->second;
  }
}

double CorpusVectoriser::AverageKnownWords(const std::vector<std::size_t>* subset) const {
  const std::size_t documents = subset ? subset->size() : corpus_.documents.size();
  if (documents == 0) return 0.0;
  double knownOccurrences = 0.0;
  for (std::size_t i = 0; i < documents; ++i) {
    double known = 0.0;
    for (const WordCount& count : corpus_.documents[subset ? (*subset)[i] : i].counts) {
      if (entries_[count.word].known) known += static_cast<double>(count.count);
    }
    knownOccurrences += known;
  }
  return knownOccurrences / static_cast<double>(documents);
}

void CorpusVectoriser::Vectorise(const CorpusDocument& document, double averageDocLength,
                                 std::vector<Feature>* features,
                                 ContentWords* contentWords) const {
  features->clear();
  *contentWords = ContentWords();
  // The known words in byte order, as a classification counts them.
  std::vector<WordCount> terms;
  double known = 0.0;
  for (const WordCount& count : document.counts) {
    const WordEntry& entry = entries_[count.word];
    if (entry.content) contentWords->words += count.count;
    if (!entry.known) continue;
    known += static_cast<double>(count.count);
    if (entry.content) contentWords->known += count.count;
    terms.push_back(count);
  }
  if (terms.empty()) return;

  DocumentWeighting weighting(known, averageDocLength);
  std::vector<double> weights(terms.size());
  for (std::size_t i = 0; i < terms.size(); ++i) {
    weights[i] = weighting.Weigh(static_cast<double>(terms[i].count), entries_[terms[i].word].idf);
  }
  if (weighting.HasLength()) {
    const double factor = weighting.UnitLengthFactor();
    for (double& weight : weights) weight = factor * weight;
  }
  // The first term of a feature sets it; later ones add to it only through
  // a canonical word, and in term order.
  struct Contribution {
    std::int32_t feature;
    std::uint32_t term;
  };
  std::vector<Contribution> contributions;
  for (std::uint32_t i = 0; i < terms.size(); ++i) {
    const std::int32_t feature = entries_[terms[i].word].feature;
    if (feature != 0) contributions.push_back({feature, i});
  }
  std::sort(contributions.begin(), contributions.end(),
            [](const Contribution& a, const Contribution& b) {
              return a.feature != b.feature ? a.feature < b.feature : a.term < b.term;
            });
  for (const Contribution& contribution : contributions) {
    const double weight = weights[contribution.term];
    if (features->empty() || features->back().index != contribution.feature) {
      features->push_back({contribution.feature, weight});
    } else if (entries_[terms[contribution.term].word].addsToFeature) {
      features->back().value += weight;
    }
  }
}

}  // namespace wenlei
