#ifndef WENLEI_TRAIN_LINEAR_TRAINING_H_
#define WENLEI_TRAIN_LINEAR_TRAINING_H_

#include <string>
#include <vector>

#include "svm.h"
#include "train/linear_model.h"

namespace wenlei {

// How a linear model is trained: one of liblinear's solvers (one-vs-rest,
// except Crammer and Singer's joint multi-class SVM), or libsvm's kernel
// solver (one-vs-one), which every other kernel uses.
enum class Solver { kL2SvmDual, kL2SvmPrimal, kL1SvmDual, kLogistic, kCrammerSinger, kLibsvm };

// "l2-svm", "l2-svm-primal", "l1-svm", "logistic", "crammer-singer", "libsvm".
bool ParseSolver(const std::string& name, Solver* solver);
const char* SolverName(Solver solver);

// Training rows of classes 1..classes (labels as doubles), each closed by
// index -1; a class weight per class (empty: all 1).  One-vs-rest: classes
// without a row get no weights and a score far below every other class's;
// one-vs-one: a pair trains on the rows of its two classes alone (a pair
// whose classes have no row decides 0).  The result
// depends on the arguments alone, also when threads train at once.
LinearModel TrainLinear(const std::vector<const svm_node*>& rows,
                        const std::vector<double>& labels, std::size_t classes, Solver solver,
                        Multiclass multiclass, double cost,
                        const std::vector<double>& classWeights, unsigned seed);

}  // namespace wenlei

#endif  // WENLEI_TRAIN_LINEAR_TRAINING_H_
