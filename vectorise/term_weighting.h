#ifndef WENLEI_VECTORISE_TERM_WEIGHTING_H_
#define WENLEI_VECTORISE_TERM_WEIGHTING_H_

#include <cmath>
#include <map>
#include <string>

#include "source/source_data.h"

namespace wenlei {

// A document's known words: word -> occurrences, then word -> weight.
// Ordered bytewise as unsigned bytes, a proper prefix first.
using TermCounts = std::map<std::string, double, std::less<>>;

// The weighting of one document: a known word counted tf times weighs
// (tf / ((K + tf) + 0.5)) * idf, where K = (knownWordCount / averageDocLength)
// * 1.5, and the weights are then scaled to unit Euclidean length by one
// precomputed factor.  Classification and training both weigh through this
// class: a model is only as good as the agreement of their weights, bit for
// bit, so the order of operations lives here once.
class DocumentWeighting {
 public:
  DocumentWeighting(double knownWordCount, double averageDocLength)
      : k_((knownWordCount / averageDocLength) * 1.5) {}

  // The weight before scaling; it counts towards the document's length.
  double Weigh(double tf, double idf) {
    const double weight = (tf / ((k_ + tf) + 0.5)) * idf;
    sumOfSquares_ = sumOfSquares_ + weight * weight;
    return weight;
  }

  // False when every weight was 0: the weights then stay as they are.
  bool HasLength() const { return sumOfSquares_ != 0.0; }
  double UnitLengthFactor() const { return 1.0 / std::sqrt(sumOfSquares_); }

 private:
  double k_;
  double sumOfSquares_ = 0.0;
};

// Replaces each count by its weight (above) and scales the weights to unit
// length.  A word without an idf entry is weighted with idf 0.0.
void WeightTerms(TermCounts& termCounts, double knownWordCount, const IdfTable& idfTable,
                 double averageDocLength);

}  // namespace wenlei

#endif  // WENLEI_VECTORISE_TERM_WEIGHTING_H_
