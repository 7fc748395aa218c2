#include "train/feature_selection.h"

#include <algorithm>
#include <unordered_map>

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
    : words_(corpus.distinctWords),
      documents_(subset ? subset->size() : corpus.documents.size()),
      classSizes_(corpus.classNamesUtf8.size(), 0),
      wordDocuments_(corpus.distinctWords.size(), 0) {
  for (const auto& [variant, canonical] : synonyms) variantsOf_[canonical].push_back(variant);

  // Each word's unit by number; without synonyms every word is its own.
  std::vector<std::uint32_t> unitOfWord;
  if (!synonyms.empty()) {
    std::unordered_map<std::string, std::uint32_t> unitNumbers;
    unitOfWord.reserve(words_.size());
    for (const auto& word : words_) {
      auto synonym = synonyms.find(word);
      const std::string& unit = synonym == synonyms.end() ? word : synonym->second;
      auto [it, added] =
          unitNumbers.emplace(unit, static_cast<std::uint32_t>(unitNames_.size()));
      if (added) unitNames_.push_back(unit);
      unitOfWord.push_back(it->second);
    }
  }
  const std::size_t units = synonyms.empty() ? words_.size() : unitNames_.size();
  unitDocuments_.assign(units, 0);
  perClass_.assign(units * classSizes_.size(), 0);

  std::vector<std::uint32_t> documentUnits;
  for (std::size_t i = 0; i < documents_; ++i) {
    const CorpusDocument& document = corpus.documents[subset ? (*subset)[i] : i];
    ++classSizes_[document.classIndex];
    documentUnits.clear();
    for (const WordCount& count : document.counts) {
      ++wordDocuments_[count.word];
      documentUnits.push_back(unitOfWord.empty() ? count.word : unitOfWord[count.word]);
    }
    if (!unitOfWord.empty()) {
      std::sort(documentUnits.begin(), documentUnits.end());
      documentUnits.erase(std::unique(documentUnits.begin(), documentUnits.end()),
                          documentUnits.end());
    }
    for (std::uint32_t unit : documentUnits) {
      ++unitDocuments_[unit];
      ++perClass_[unit * classSizes_.size() + document.classIndex];
    }
  }
}

std::vector<std::uint32_t> FeatureStatistics::RankedUnits(std::size_t minDocumentFrequency,
                                                          const UnitFilter& keep,
                                                          std::vector<double>* scores) const {
  std::vector<std::uint32_t> ranked;
  scores->assign(unitDocuments_.size(), 0.0);
  const double n = static_cast<double>(documents_);
  for (std::uint32_t unit = 0; unit < unitDocuments_.size(); ++unit) {
    if (unitDocuments_[unit] == 0 || unitDocuments_[unit] < minDocumentFrequency) continue;
    if (keep && !keep(UnitName(unit))) continue;
    double best = 0.0;
    for (std::size_t c = 0; c < classSizes_.size(); ++c) {
      const double a = static_cast<double>(DocumentsHolding(unit, c));
      const double b = static_cast<double>(unitDocuments_[unit]) - a;
      const double inClass = static_cast<double>(classSizes_[c]);
      best = std::max(best, ChiSquare(a, b, inClass - a, n - inClass - b));
    }
    (*scores)[unit] = best;
    ranked.push_back(unit);
  }
  std::sort(ranked.begin(), ranked.end(), [this, scores](std::uint32_t x, std::uint32_t y) {
    if ((*scores)[x] != (*scores)[y]) return (*scores)[x] > (*scores)[y];
    return UnitName(x) < UnitName(y);
  });
  return ranked;
}

std::vector<RankedUnit> FeatureStatistics::Rank(std::size_t minDocumentFrequency,
                                                const UnitFilter& keep) const {
  std::vector<double> scores;
  std::vector<RankedUnit> ranked;
  for (std::uint32_t unit : RankedUnits(minDocumentFrequency, keep, &scores)) {
    ranked.push_back({UnitName(unit), scores[unit], unitDocuments_[unit]});
  }
  return ranked;
}

std::vector<RankedUnit> FeatureStatistics::RankByClassTurns(std::size_t minDocumentFrequency,
                                                            const UnitFilter& keep) const {
  std::vector<double> scores;
  const std::vector<std::uint32_t> overall = RankedUnits(minDocumentFrequency, keep, &scores);
  const std::size_t classes = classSizes_.size();
  const double n = static_cast<double>(documents_);
  std::vector<std::vector<std::pair<double, std::size_t>>> byClass(classes);
  for (std::size_t i = 0; i < overall.size(); ++i) {
    for (std::size_t c = 0; c < classes; ++c) {
      const double a = static_cast<double>(DocumentsHolding(overall[i], c));
      const double b = static_cast<double>(unitDocuments_[overall[i]]) - a;
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
  auto add = [&](std::size_t i) {
    ranked.push_back({UnitName(overall[i]), scores[overall[i]], unitDocuments_[overall[i]]});
  };
  std::vector<bool> taken(overall.size(), false);
  std::vector<std::size_t> next(classes, 0);
  for (bool any = true; any;) {
    any = false;
    for (std::size_t c = 0; c < classes; ++c) {
      while (next[c] < byClass[c].size() && taken[byClass[c][next[c]].second]) ++next[c];
      if (next[c] == byClass[c].size()) continue;
      const std::size_t i = byClass[c][next[c]++].second;
      taken[i] = true;
      add(i);
      any = true;
    }
  }
  for (std::size_t i = 0; i < overall.size(); ++i) {
    if (!taken[i]) add(i);
  }
  return ranked;
}

std::size_t FeatureStatistics::WordDocumentFrequency(const std::string& word) const {
  auto it = std::lower_bound(words_.begin(), words_.end(), word);
  return it == words_.end() || *it != word ? 0 : wordDocuments_[it - words_.begin()];
}

std::vector<std::string> FeatureStatistics::Members(const std::string& unit) const {
  std::vector<std::string> members{unit};
  auto it = variantsOf_.find(unit);
  if (it != variantsOf_.end()) members.insert(members.end(), it->second.begin(), it->second.end());
  std::sort(members.begin(), members.end());
  return members;
}

}  // namespace wenlei
