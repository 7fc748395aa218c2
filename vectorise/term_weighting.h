#ifndef WENLEI_VECTORISE_TERM_WEIGHTING_H_
#define WENLEI_VECTORISE_TERM_WEIGHTING_H_

#include <map>
#include <string>

#include "source/source_data.h"

namespace wenlei {

// A document's known words: word -> occurrences, then word -> weight.
// Ordered bytewise as unsigned bytes, a proper prefix first.
using TermCounts = std::map<std::string, double, std::less<>>;

// Replaces each count tf by (tf / ((K + tf) + 0.5)) * idf, where
// K = (knownWordCount / averageDocLength) * 1.5, then scales the weights to
// unit Euclidean length by one precomputed factor.  A word without an idf
// entry is weighted with idf 0.0.
void WeightTerms(TermCounts& termCounts, double knownWordCount, const IdfTable& idfTable,
                 double averageDocLength);

}  // namespace wenlei

#endif  // WENLEI_VECTORISE_TERM_WEIGHTING_H_
