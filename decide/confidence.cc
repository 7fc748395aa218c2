#include "decide/confidence.h"

namespace wenlei {

double AnswerConfidence(const std::vector<double>& probabilitiesHighestFirst, std::size_t words,
                        std::size_t knownWords) {
  (void)words;
  (void)knownWords;
  if (probabilitiesHighestFirst.empty()) return 0.0;
  return probabilitiesHighestFirst.front();
}

}  // namespace wenlei
