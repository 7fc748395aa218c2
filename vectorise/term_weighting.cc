#include "vectorise/term_weighting.h"

#include <cmath>

namespace wenlei {

void WeightTerms(TermCounts& termCounts, double knownWordCount, const IdfTable& idfTable,
                 double averageDocLength) {
  double sumOfSquares = 0.0;
  if (termCounts.empty()) return;
  // The order of operations is part of the result: the weights must match
  // the training side's bit for bit.
  const double k = (knownWordCount / averageDocLength) * 1.5;
  auto from = idfTable.begin();  // the terms come in the table's order
  for (auto& [term, value] : termCounts) {
    const double* found = idfTable.FindFrom(term, &from);
    const double idf = found ? *found : 0.0;
    const double tf = value;
    const double weight = (tf / ((k + tf) + 0.5)) * idf;
    value = weight;
    sumOfSquares = sumOfSquares + weight * weight;
  }
  if (sumOfSquares == 0.0) return;
  const double factor = 1.0 / std::sqrt(sumOfSquares);
  for (auto& entry : termCounts) entry.second = factor * entry.second;
}

}  // namespace wenlei
