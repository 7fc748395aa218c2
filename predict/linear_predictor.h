#ifndef WENLEI_PREDICT_LINEAR_PREDICTOR_H_
#define WENLEI_PREDICT_LINEAR_PREDICTOR_H_

#include <cstddef>
#include <memory>
#include <vector>

struct svm_model;
struct svm_node;

namespace wenlei {

// libsvm's svm_predict_probability for a linear-kernel classifier with
// probability information, to the last bit, without a merge of the document
// against every support vector: the support vectors are kept transposed
// (feature -> the support vectors holding it), so a document's kernel values
// come from its own features alone.  For each support vector the products
// are added in ascending feature order, starting from 0, as libsvm's dot
// product adds them; the decision values, the pairwise sigmoids and the
// multiclass coupling follow libsvm 3.24's own expressions in its order.
class LinearPredictor {
 public:
  // Null unless the model is a c_svc or nu_svc with the linear kernel,
  // probA and probB, and every support vector's indices are positive and
  // strictly ascending (the form libsvm's saver writes), so that the
  // transposed sums are libsvm's.  Null too when a support vector uses a
  // feature above highestFeature (the vocabulary's last): the transposed
  // table has a slot per feature, and the file may claim any number.
  static std::unique_ptr<LinearPredictor> For(const svm_model* model, int highestFeature);

  // For a document whose indices are positive and strictly ascending,
  // closed by index -1: fills one probability per class in the model's label
  // order and returns the label predicted, as svm_predict_probability does;
  // and, unless decisions is null, the pairs' decision values in libsvm's
  // pair order, as svm_predict_values gives them.
  double PredictProbability(const svm_node* x, double* probabilities,
                            double* decisions = nullptr) const;

 private:
  explicit LinearPredictor(const svm_model* model) : model_(model) {}

  const svm_model* model_;
  // Transposed support vectors: entries of feature f at [start_[f], start_[f + 1]).
  std::vector<std::size_t> start_;
  std::vector<int> vectorOf_;
  std::vector<double> valueOf_;
};

// The second half of svm_predict_probability, for a c_svc or nu_svc model
// with probA and probB: from the pairs' decision values (svm_predict_values's,
// in its pair order) fills one probability per class in the model's label
// order and returns the label predicted, to the last bit.
double CoupledProbabilities(const svm_model* model, const double* decisions,
                            double* probabilities);

}  // namespace wenlei

#endif  // WENLEI_PREDICT_LINEAR_PREDICTOR_H_
