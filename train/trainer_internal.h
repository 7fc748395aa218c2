#ifndef WENLEI_TRAIN_TRAINER_INTERNAL_H_
#define WENLEI_TRAIN_TRAINER_INTERNAL_H_

// What the trainer's own sources share: its steps' common outcomes and
// libsvm's row form.

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "svm.h"
#include "train/trainer.h"
#include "util/status.h"

namespace wenlei {

// Documents as the solvers take them.  Rows are ordered by class number, so
// that the labels appear first in the order 1..n and libsvm numbers the
// model's classes the way the decision step reads them.  Training rows for
// liblinear go straight into its own form; every other part keeps libsvm's
// rows with each row's document and content words.
struct Trainer::Problem {
  std::vector<std::vector<svm_node>> rows;
  std::vector<svm_node*> pointers;
  std::vector<double> labels;
  std::vector<std::size_t> documents;      // corpus index of each row
  std::vector<ContentWords> contentWords;  // content words of each row and the known ones
  LinearRows linear;                       // instead of the above, for liblinear
  svm_problem problem{};
  std::size_t documentsWithoutFeatures = 0;
};

// A unit of cross-validation work as the folds announce it.
struct Trainer::Step {
  std::size_t fold = 0;
  std::size_t features = 0;
  double cost = 0.0;
  double weightPower = 0.0;
  std::size_t point = 0;  // its place in the grid of one k
};

Status Cancelled();
Status LibsvmRejects(const char* message);

// The outcomes of a run's folds.  Each fold's thread sets its own; the
// reporting thread asks only whether one failed, so that the run stops.
class FoldFaults {
 public:
  explicit FoldFaults(std::size_t folds) : faults_(folds) {}
  void Set(std::size_t fold, Status status);
  bool AnyFailed() const { return failed_.load(); }
  // Once the folds' threads are joined: the first fold's fault, else
  // Cancelled unless the folds ran to their end.
  Status Outcome(bool finished) const;

 private:
  std::vector<Status> faults_;
  std::atomic<bool> failed_{false};
};

std::vector<const svm_node*> RowPointers(const std::vector<std::vector<svm_node>>& rows);

// The largest threshold under which no more than share of the confidences
// fall (see the calibration).
double ThresholdFlagging(std::vector<double> confidences, double share);

}  // namespace wenlei

#endif  // WENLEI_TRAIN_TRAINER_INTERNAL_H_
