#include "train/feature_selection.h"

#include <algorithm>

namespace wenlei {
namespace {

double ChiSquare(double a, double b, double c, double d) {
  const double n = a + b + c + d;
  const double denominator = (a + b) * (c + d) * (a + c) * (b + d);
  if (denominator == 0.0) return 0.0;
  const double difference = a * d - b * c;
  return n * difference * difference / denominator;
}

}  // namespace

FeatureStatistics::FeatureStatistics(const Corpus& corpus, const SynonymTable& synonyms,
                                     const std::vector<std::size_t>* subset)
    : documents_(subset ? subset->size() : corpus.documents.size()),
      classSizes_(corpus.classNamesUtf8.size(), 0) {
  for (const auto& [variant, canonical] : synonyms) variantsOf_[canonical].push_back(variant);

  std::vector<std::string> words, units;
  for (std::size_t i = 0; i < documents_; ++i) {
    const CorpusDocument& document = corpus.documents[subset ? (*subset)[i] : i];
    ++classSizes_[document.classIndex];
    words = document.words;
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    units.clear();
    for (const auto& word : words) {
      ++wordFrequency_[word];
      auto synonym = synonyms.find(word);
      units.push_back(synonym == synonyms.end() ? word : synonym->second);
    }
    std::sort(units.begin(), units.end());
    units.erase(std::unique(units.begin(), units.end()), units.end());
    for (const auto& unit : units) {
      UnitCounts& counts = units_[unit];
      if (counts.perClass.empty()) counts.perClass.assign(classSizes_.size(), 0);
      ++counts.documentFrequency;
      ++counts.perClass[document.classIndex];
    }
  }
}

std::vector<RankedUnit> FeatureStatistics::Rank(std::size_t minDocumentFrequency) const {
  std::vector<RankedUnit> ranked;
  const double n = static_cast<double>(documents_);
  for (const auto& [unit, counts] : units_) {
    if (counts.documentFrequency < minDocumentFrequency) continue;
    double best = 0.0;
    for (std::size_t c = 0; c < classSizes_.size(); ++c) {
      const double a = static_cast<double>(counts.perClass[c]);
      const double b = static_cast<double>(counts.documentFrequency) - a;
      const double inClass = static_cast<double>(classSizes_[c]);
      best = std::max(best, ChiSquare(a, b, inClass - a, n - inClass - b));
    }
    ranked.push_back({unit, best, counts.documentFrequency});
  }
  std::sort(ranked.begin(), ranked.end(), [](const RankedUnit& x, const RankedUnit& y) {
    if (x.score != y.score) return x.score > y.score;
    return x.unit < y.unit;
  });
  return ranked;
}

std::vector<RankedUnit> FeatureStatistics::RankByClassTurns(
    std::size_t minDocumentFrequency) const {
  const std::vector<RankedUnit> overall = Rank(minDocumentFrequency);
  const std::size_t classes = classSizes_.size();
  const double n = static_cast<double>(documents_);
  std::vector<std::vector<std::pair<double, std::size_t>>> byClass(classes);
  for (std::size_t i = 0; i < overall.size(); ++i) {
    const UnitCounts& counts = units_.at(overall[i].unit);
    for (std::size_t c = 0; c < classes; ++c) {
      const double a = static_cast<double>(counts.perClass[c]);
      const double b = static_cast<double>(counts.documentFrequency) - a;
      const double inClass = static_cast<double>(classSizes_[c]);
      const double d = n - inClass - b, cc = inClass - a;
      if (a * d <= b * cc) continue;
      byClass[c].emplace_back(ChiSquare(a, b, cc, d), i);
    }
  }
  for (auto& units : byClass) {
    // Ties keep the overall order, which breaks them by bytes.
    std::stable_sort(units.begin(), units.end(),
                     [](const auto& x, const auto& y) { return x.first > y.first; });
  }
  std::vector<RankedUnit> ranked;
  std::vector<bool> taken(overall.size(), false);
  std::vector<std::size_t> next(classes, 0);
  for (bool any = true; any;) {
    any = false;
    for (std::size_t c = 0; c < classes; ++c) {
      while (next[c] < byClass[c].size() && taken[byClass[c][next[c]].second]) ++next[c];
      if (next[c] == byClass[c].size()) continue;
      const std::size_t i = byClass[c][next[c]++].second;
      taken[i] = true;
      ranked.push_back(overall[i]);
      any = true;
    }
  }
  for (std::size_t i = 0; i < overall.size(); ++i) {
    if (!taken[i]) ranked.push_back(overall[i]);
  }
  return ranked;
}

std::size_t FeatureStatistics::WordDocumentFrequency(const std::string& word) const {
  auto it = wordFrequency_.find(word);
  return it == wordFrequency_.end() ? 0 : it->second;
}

std::vector<std::string> FeatureStatistics::Members(const std::string& unit) const {
  std::vector<std::string> members{unit};
  auto it = variantsOf_.find(unit);
  if (it != variantsOf_.end()) members.insert(members.end(), it->second.begin(), it->second.end());
  std::sort(members.begin(), members.end());
  return members;
}

}  // namespace wenlei
