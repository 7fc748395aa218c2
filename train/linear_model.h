#ifndef WENLEI_TRAIN_LINEAR_MODEL_H_
#define WENLEI_TRAIN_LINEAR_MODEL_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "svm.h"
#include "util/status.h"

namespace wenlei {

// One-vs-rest linear scores: class c (0-based) scores w_c . x + b_c.
struct LinearModel {
  std::vector<std::vector<svm_node>> weights;  // per class, sparse, closed by index -1
  std::vector<double> biases;

  std::size_t classes() const { return biases.size(); }
  // Every class's score for a row closed by index -1.
  std::vector<double> Scores(const svm_node* x) const;
  // The same scores for many rows, bit for bit: each class's weights are
  // spread out once, so a row costs its own length rather than the weights'.
  std::vector<std::vector<double>> ScoreRows(const std::vector<const svm_node*>& rows) const;
};

// The pairs (i, j), i < j, in libsvm's order: (0,1), (0,2), ..., (1,2), ...
std::size_t PairCount(std::size_t classes);

// A libsvm model with the linear kernel that decides exactly as the scores
// do: one support vector per class, w_c, with coefficient +1 in every pair
// where c is the first class and -1 where it is the second, so pair (i, j)
// decides by (w_i - w_j) . x + b_i - b_j; rho of the pair is b_j - b_i.
// probA and probB hold a sigmoid per pair (empty: none).  Labels 1..n.
class LibsvmLinearModel {
 public:
  LibsvmLinearModel(const LinearModel& linear, std::vector<double> probA,
                    std::vector<double> probB);
  LibsvmLinearModel(const LibsvmLinearModel&) = delete;
  LibsvmLinearModel& operator=(const LibsvmLinearModel&) = delete;

  const svm_model* model() const { return &model_; }
  // Writes the model with libsvm's own writer.
  Status Save(const std::string& path) const;

 private:
  std::vector<std::vector<svm_node>> vectors_;
  std::vector<svm_node*> vectorPointers_;
  std::vector<std::vector<double>> coefficients_;
  std::vector<double*> coefficientPointers_;
  std::vector<double> rho_, probA_, probB_;
  std::vector<int> labels_, supportVectorCounts_;
  svm_model model_{};
};

// The decision value of pair (i, j) as the libsvm model computes it.
inline double PairDecision(const std::vector<double>& scores, std::size_t i, std::size_t j) {
  return scores[i] - scores[j];
}

}  // namespace wenlei

#endif  // WENLEI_TRAIN_LINEAR_MODEL_H_
