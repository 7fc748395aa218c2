#include "predict/loaded_model.h"

#if !defined(_WIN32)
#include <mutex>
#endif

#include "predict/linear_predictor.h"
#include "predict/model_file_check.h"
#include "svm.h"
#include "util/private_copy.h"

namespace wenlei {

Status LoadedModel::Load(const std::string& path, std::string_view text,
                         std::unique_ptr<LoadedModel>* model) {
  const std::string refused = "can't open model file " + path + "\n";
  std::string fault;
  if (!CheckModelText(text, &fault)) {
    return Status(Status::Code::kCorrupt,
                  "wenlei: damaged model file " + path + ": " + fault + "\n" + refused);
  }
  // libsvm opens a path: it gets a copy of the checked bytes, so that a
  // file rewritten meanwhile (cp over SVMModel) cannot hand its loader a
  // half-written model.
  std::unique_ptr<PrivateCopy> copy;
  Status copied = PrivateCopy::Make(text, &copy);
  if (!copied.ok()) {
    return Status(copied.code(), "wenlei: model file " + path + ": " + copied.message() + "\n" + refused);
  }
  svm_model* loaded;
  {
#if !defined(_WIN32)
    // libsvm's loader switches the process locale to "C" and back while it
    // reads; two loads at once (handles of the modern interface opened in
    // several threads) would restore each other's switch.  The Windows DLL
    // has the exports alone, each of which holds the process-wide lock.
    static std::mutex loaderMutex;
    std::lock_guard<std::mutex> lock(loaderMutex);
#endif
    loaded = svm_load_model(copy->path().c_str());
  }
  if (loaded == nullptr) return Status(Status::Code::kCorrupt, refused);
  *model = Adopt(loaded);
  return Status::Ok();
}

std::unique_ptr<LoadedModel> LoadedModel::Adopt(svm_model* model) {
  return std::unique_ptr<LoadedModel>(new LoadedModel(model));
}

LoadedModel::LoadedModel(svm_model* model)
    : model_(model),
      svmType_(svm_get_svm_type(model)),
      labels_(static_cast<std::size_t>(svm_get_nr_class(model) > 0 ? svm_get_nr_class(model) : 0)),
      hasProbability_(svm_check_probability_model(model) != 0) {
  if (svmType_ != kSvmTypeEpsilonSvr && svmType_ != kSvmTypeNuSvr && !labels_.empty()) {
    svm_get_labels(model, labels_.data());
  }
  for (int i = 0; i < model->l; ++i) {
    for (const svm_node* node = model->SV[i]; node->index != -1; ++node) {
      if (node->index > largestFeature_) largestFeature_ = node->index;
    }
  }
}

LoadedModel::~LoadedModel() { svm_free_and_destroy_model(&model_); }

void LoadedModel::PrepareLinearPrediction(int highestFeature) {
  linear_ = LinearPredictor::For(model_, highestFeature);
}

double LoadedModel::PredictProbability(const svm_node* nodes, double* probabilities) const {
  if (linear_ != nullptr) return linear_->PredictProbability(nodes, probabilities);
  return svm_predict_probability(model_, nodes, probabilities);
}

double LoadedModel::Predict(const svm_node* nodes) const { return svm_predict(model_, nodes); }

}  // namespace wenlei
