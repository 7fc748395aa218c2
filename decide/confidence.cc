#include "decide/confidence.h"

namespace wenlei {

double AnswerConfidence(const std::vector<double>& probabilitiesHighestFirst, std::size_t words,
                        std::size_t knownWords) {
  (void)words;
  if (probabilitiesHighestFirst.empty() || knownWords == 0) return 0.0;
  return probabilitiesHighestFirst[0];
}

}  // namespace wenlei
