#ifndef WENLEI_DECIDE_CONFIDENCE_H_
#define WENLEI_DECIDE_CONFIDENCE_H_

#include <cstddef>
#include <vector>

namespace wenlei {

// How sure an answer is, from 0 to 1: the probability of the best class.
// probabilitiesHighestFirst holds one probability per class, sorted from the
// highest; words is the number of words of the document and knownWords the
// number of those the vocabulary knows.  A document without a known word, or
// without probabilities, has confidence 0.
double AnswerConfidence(const std::vector<double>& probabilitiesHighestFirst, std::size_t words,
                        std::size_t knownWords);

}  // namespace wenlei

#endif  // WENLEI_DECIDE_CONFIDENCE_H_
