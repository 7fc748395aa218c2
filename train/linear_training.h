#ifndef WENLEI_TRAIN_LINEAR_TRAINING_H_
#define WENLEI_TRAIN_LINEAR_TRAINING_H_

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "linear.h"
#include "train/linear_model.h"
#include "util/status.h"

namespace wenlei {

// How a linear model is trained: one of liblinear's solvers (one-vs-rest,
// except Crammer and Singer's joint multi-class SVM), or libsvm's kernel
// solver (one-vs-one), which every other kernel uses.
enum class Solver { kL2SvmDual, kL2SvmPrimal, kL1SvmDual, kLogistic, kCrammerSinger, kLibsvm };

// "l2-svm", "l2-svm-primal", "l1-svm", "logistic", "crammer-singer", "libsvm".
bool ParseSolver(const std::string& name, Solver* solver);
const char* SolverName(Solver solver);
// Whether the solver shuffles with the C library's rand(): its trainings
// then take turns across threads, so that each stays repeatable.
bool SolverDrawsFromRand(Solver solver);

// Training rows as liblinear takes them, built once and trained at every
// cost: each row's features, then the bias term's constant 1, then index
// -1, all in one block.  The bias term's feature follows the largest feature
// of the rows, as liblinear expects.
class LinearRows {
 public:
  // Adds a row of class label (1..n); features in ascending order.
  template <typename Features>
  void Add(const Features& features, double label) {
    starts_.push_back(nodes_.size());
    for (const auto& feature : features) {
      nodes_.push_back({feature.index, feature.value});
      largestFeature_ = std::max(largestFeature_, static_cast<int>(feature.index));
    }
    nodes_.push_back({0, 1.0});  // the bias term's feature is set by Finish
    nodes_.push_back({-1, 0.0});
    labels_.push_back(label);
  }
  // Room for rows holding features in all, so that a large problem is not
  // copied as it grows (for a moment twice its size and more).
  void Reserve(std::size_t rows, std::size_t features) {
    nodes_.reserve(features + 2 * rows);
    starts_.reserve(rows);
    labels_.reserve(rows);
  }
  // Numbers the bias term's feature; called once, after the last row.
  void Finish();

  std::size_t size() const { return labels_.size(); }
  bool empty() const { return labels_.empty(); }
  int largestFeature() const { return largestFeature_; }
  const std::vector<double>& labels() const { return labels_; }
  // The rows for liblinear's problem.
  std::vector<feature_node*> Pointers() const;

 private:
  std::vector<feature_node> nodes_;
  std::vector<std::size_t> starts_;
  std::vector<double> labels_;
  int largestFeature_ = 0;
};

// Trains on rows of classes 1..classes with a class weight per class
// (empty: all 1).  One-vs-rest: classes without a row get no weights and a
// score far below every other class's; one-vs-one: a pair trains on the
// rows of its two classes alone (a pair whose classes have no row decides
// 0).  The result depends on the arguments alone, also when threads train
// at once.
LinearModel TrainLinear(const LinearRows& rows, std::size_t classes, Solver solver,
                        Multiclass multiclass, double cost,
                        const std::vector<double>& classWeights, unsigned seed);

// The rows of the pair of classes i < j (0-based), class i's first, each
// class's in the order TrainLinear's rows hold them.
using PairRowsSource = std::function<Status(std::size_t i, std::size_t j, LinearRows* rows)>;

// The one-vs-one model TrainLinear trains on all rows, from one pair's rows
// at a time: a large corpus's rows need not all be held at once.  A fault
// of rowsOf ends the training.
Status TrainLinearPairs(const PairRowsSource& rowsOf, std::size_t classes, Solver solver,
                        double cost, const std::vector<double>& classWeights, unsigned seed,
                        LinearModel* model);

}  // namespace wenlei

#endif  // WENLEI_TRAIN_LINEAR_TRAINING_H_
