#ifndef WENLEI_DECIDE_CONFIDENCE_H_
#define WENLEI_DECIDE_CONFIDENCE_H_

#include <cstddef>
#include <vector>

namespace wenlei {

// How sure an answer is, from 0 to 1: the probabilities of every class,
// highest first (empty when the document reached no prediction), and the
// document's counts of words and of words the vocabulary knows.  An answer
// whose confidence is below the threshold in force is flagged unknown.
double AnswerConfidence(const std::vector<double>& probabilitiesHighestFirst, std::size_t words,
                        std::size_t knownWords);

}  // namespace wenlei

#endif  // WENLEI_DECIDE_CONFIDENCE_H_
