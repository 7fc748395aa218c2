#ifndef WENLEI_DECIDE_CONFIDENCE_H_
#define WENLEI_DECIDE_CONFIDENCE_H_

#include <cstddef>
#include <vector>

namespace wenlei {

// How sure an answer is, from 0 to 1: the geometric mean of the best
// class's probability and the share of the document's content words that
// the vocabulary knows, sqrt(p1 * knownWords / words).  The probabilities alone
// cannot tell a text from elsewhere, whose few known words the model spreads
// over its classes as it would an ambiguous page; the known-word share is
// what marks such a text, and the top probability adds the model's doubt
// about a text that is covered but lies between classes.
//
// probabilitiesHighestFirst holds one probability per class, sorted from
// the highest; words counts the content words handed to the classification
// (CountContentWords: words with a letter or a Chinese character), knownWords
// their occurrences in the vocabulary.  Punctuation and numbers are left out
// of both, so that a vocabulary holding them does not make any text look
// covered.  A document without a
// known word, or without probabilities, has confidence 0.  An answer whose
// confidence is below the threshold in force is flagged unknown.
double AnswerConfidence(const std::vector<double>& probabilitiesHighestFirst, std::size_t words,
                        std::size_t knownWords);

}  // namespace wenlei

#endif  // WENLEI_DECIDE_CONFIDENCE_H_
