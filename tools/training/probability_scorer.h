#ifndef WENLEI_TOOLS_TRAINING_PROBABILITY_SCORER_H_
#define WENLEI_TOOLS_TRAINING_PROBABILITY_SCORER_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "source/source_data.h"

struct svm_model;

namespace wenlei {

// What the model says about one document beyond its answer text.
struct DocumentScore {
  std::vector<double> probabilities;  // by class number - 1; empty without a known word
  std::vector<int> ranking;           // class indices, most probable first (ties: lower first)
  std::size_t words = 0;
  std::size_t knownWords = 0;  // occurrences of vocabulary words
  double confidence = 0.0;     // AnswerConfidence
};

// Classifies documents in memory the way a classification does (the same
// counting, weighting and feature mapping, the same libsvm prediction with
// probabilities) and keeps what the answer text leaves out: every
// probability and the confidence.
class ProbabilityScorer {
 public:
  // Loads prefix + "Source.dat" and prefix + "SVMModel" into *scorer;
  // kCorrupt when either is missing or unfit.
  static Status Open(const std::string& prefix, std::unique_ptr<ProbabilityScorer>* scorer);
  ~ProbabilityScorer();

  DocumentScore Score(const std::vector<std::string>& gbkWords) const;

 private:
  ProbabilityScorer() = default;

  mutable SourceData sourceData_;
  svm_model* model_ = nullptr;
  std::vector<int> labels_;
};

}  // namespace wenlei

#endif  // WENLEI_TOOLS_TRAINING_PROBABILITY_SCORER_H_
