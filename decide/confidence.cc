#include "decide/confidence.h"

#include <algorithm>
#include <cmath>

namespace wenlei {

double AnswerConfidence(const std::vector<double>& probabilitiesHighestFirst, std::size_t words,
                        std::size_t knownWords) {
  if (probabilitiesHighestFirst.empty() || knownWords == 0 || words == 0) return 0.0;
  const double top = std::clamp(probabilitiesHighestFirst[0], 0.0, 1.0);
  const double knownShare =
      std::min(1.0, static_cast<double>(knownWords) / static_cast<double>(words));
  return std::sqrt(top * knownShare);
}

}  // namespace wenlei
