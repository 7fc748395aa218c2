#ifndef WENLEI_TRAIN_LINEAR_MODEL_H_
#define WENLEI_TRAIN_LINEAR_MODEL_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "svm.h"
#include "util/status.h"

namespace wenlei {

// How binary linear models make a multi-class one: one per class against
// the rest, or one per pair of classes trained on those two classes alone.
enum class Multiclass { kOneVsRest, kOneVsOne };

// "one-vs-rest", "one-vs-one".
bool ParseMulticlass(const std::string& name, Multiclass* multiclass);

// libsvm's svm_save_model to a UTF-8 path.  On Windows, where libsvm's
// fopen writes CR LF line ends, the model goes through a temporary file
// and is copied with LF line ends, so the file has the bytes it has on
// Linux.
Status SaveSvmModel(const std::string& path, const svm_model* model);
const char* MulticlassName(Multiclass multiclass);

// The pairs (i, j), i < j, in libsvm's order: (0,1), (0,2), ..., (1,2), ...
std::size_t PairCount(std::size_t classes);

// A linear model of classCount classes (0-based).  One-vs-rest: a weight
// vector per class, class c scoring w_c . x + b_c.  One-vs-one: one per
// pair (i, j) in libsvm's order, its decision w_ij . x + b_ij favouring i
// when positive.
struct LinearModel {
  Multiclass multiclass = Multiclass::kOneVsRest;
  std::size_t classCount = 0;
  std::vector<std::vector<svm_node>> weights;  // sparse, closed by index -1
  std::vector<double> biases;

  std::size_t classes() const { return classCount; }
  // Every pair's decision value for a row closed by index -1, in libsvm's
  // pair order; one-vs-rest pair (i, j) decides by score_i - score_j.  The
  // products are added in ascending feature order, as libsvm adds them.
  std::vector<double> PairDecisions(const svm_node* x) const;
  // The same for many rows, bit for bit: each weight vector is spread out
  // once, so a row costs its own length rather than the weights'.
  std::vector<std::vector<double>> PairDecisionRows(const std::vector<const svm_node*>& rows) const;
};

// The class libsvm's vote picks from pair decisions (ties: the lower class).
std::size_t VotedClass(const std::vector<double>& pairDecisions, std::size_t classes);

// A libsvm model with the linear kernel whose pair decisions are exactly
// the linear model's.  One-vs-rest: one support vector per class, w_c, with
// coefficient +1 in every pair where c is the first class and -1 where it
// is the second, so pair (i, j) decides by (w_i - w_j) . x + b_i - b_j; rho
// of the pair is b_j - b_i.  One-vs-one: one support vector per pair, w_ij,
// given to i or j (whichever holds fewer so far, so that every class of
// three or more holds one) with coefficient 1 in that pair and 0 in the
// others; rho of the pair is -b_ij.  probA and probB hold a sigmoid per pair
// (empty: none).  Labels 1..n.
class LibsvmLinearModel {
 public:
  LibsvmLinearModel(const LinearModel& linear, std::vector<double> probA,
                    std::vector<double> probB);
  LibsvmLinearModel(const LibsvmLinearModel&) = delete;
  LibsvmLinearModel& operator=(const LibsvmLinearModel&) = delete;

  const svm_model* model() const { return &model_; }
  // The bytes libsvm's svm_save_model writes for the model (in the C
  // locale, with LF line ends), formatted here: libsvm's fprintf of every
  // weight costs more than training a model of a large vocabulary.
  std::string Text() const;
  // Writes Text() to path.
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

}  // namespace wenlei

#endif  // WENLEI_TRAIN_LINEAR_MODEL_H_
