#ifndef WENLEI_PREDICT_LOADED_MODEL_H_
#define WENLEI_PREDICT_LOADED_MODEL_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/status.h"

struct svm_model;
struct svm_node;

namespace wenlei {

class LinearPredictor;

// libsvm's svm types, numbered as in the model file.
inline constexpr int kSvmTypeCSvc = 0;
inline constexpr int kSvmTypeNuSvc = 1;
inline constexpr int kSvmTypeEpsilonSvr = 3;
inline constexpr int kSvmTypeNuSvr = 4;

// One parsed libsvm model and what a prediction asks of it, owned as one
// object.  Predictions only read the model, so any number of threads may
// predict with one LoadedModel at once.
class LoadedModel {
 public:
  // Loads the model whose file at path held text: libsvm parses text
  // itself, after it has been checked, so that a damaged file is refused
  // instead of crashing libsvm's loader and a file rewritten meanwhile does
  // not matter.  A damaged file fails with kCorrupt in the context
  // kModelCheck ("damaged model file PATH: FAULT"), one libsvm refuses with
  // kCorrupt in the context kModelLoad.
  static Status Load(const std::string& path, std::string_view text,
                     std::unique_ptr<LoadedModel>* model);

  // Takes over a model libsvm loaded.
  static std::unique_ptr<LoadedModel> Adopt(svm_model* model);

  ~LoadedModel();
  LoadedModel(const LoadedModel&) = delete;
  LoadedModel& operator=(const LoadedModel&) = delete;

  int svmType() const { return svmType_; }
  int classCount() const { return static_cast<int>(labels_.size()); }
  // The class labels in the model's order.
  const std::vector<int>& labels() const { return labels_; }
  // Whether the model carries probability information.
  bool hasProbability() const { return hasProbability_; }
  // The largest feature index of any support vector.
  int largestFeature() const { return largestFeature_; }
  // libsvm's name of the kernel: "linear", "polynomial", "rbf", "sigmoid"
  // or "precomputed".
  const char* kernelName() const;
  // libsvm's name of the svm type, as the model file writes it ("c_svc").
  const char* svmTypeName() const;
  int supportVectorCount() const;

  // The decision between the classes at label positions `first` and
  // `second` (0-based, any order), oriented so that a positive value favours
  // `first`: libsvm's pairwise decision value for x.
  double PairDecisionValue(const svm_node* x, int first, int second) const;
  // For the linear kernel, the same decision as w . x + constant: fills
  // weights[k] with w at features[k] and *constant with the oriented -rho.
  // Any other kernel has no such weights: kInvalidArgument.
  Status LinearPairWeights(int first, int second, const std::vector<int>& features,
                           std::vector<double>* weights, double* constant) const;

  // Builds a LinearPredictor for the model when it is of that kind, so that
  // PredictProbability gives libsvm's values from the document's features
  // alone.  For handles that predict many documents with one model, once
  // the model's features are known to end at highestFeature.
  void PrepareLinearPrediction(int highestFeature);

  // libsvm's svm_predict_probability: fills one probability per class, in
  // the labels' order, and returns the label predicted.  A LinearPredictor
  // prepared serves records with positive, strictly ascending indices (as
  // the library writes them); libsvm itself any other.
  double PredictProbability(const svm_node* nodes, double* probabilities) const;
  // The same, and the pairs' decision values it came from (one per pair,
  // in libsvm's pair order, as svm_predict_values gives them) into
  // decisions.  For a model with probability information.
  double PredictProbability(const svm_node* nodes, double* probabilities,
                            double* decisions) const;
  // libsvm's svm_predict.
  double Predict(const svm_node* nodes) const;

 private:
  explicit LoadedModel(svm_model* model);

  svm_model* model_;
  int svmType_;
  std::vector<int> labels_;
  bool hasProbability_;
  int largestFeature_ = 0;
  std::unique_ptr<LinearPredictor> linear_;
};

}  // namespace wenlei

#endif  // WENLEI_PREDICT_LOADED_MODEL_H_
