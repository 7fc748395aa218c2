#include "vectorise/term_weighting.h"

namespace wenlei {

void WeightTerms(TermCounts& termCounts, double knownWordCount, const IdfTable& idfTable,
                 double averageDocLength) {
  if (termCounts.empty()) return;
  DocumentWeighting weighting(knownWordCount, averageDocLength);
  auto from = idfTable.begin();  // the terms come in the table's order
  for (auto& [term, value] : termCounts) {
    const double* found = idfTable.FindFrom(term, &from);
    value = weighting.Weigh(value, found ? *found : 0.0);
  }
  if (!weighting.HasLength()) return;
  const double factor = weighting.UnitLengthFactor();
  for (auto& entry : termCounts) entry.second = factor * entry.second;
}

}  // namespace wenlei
