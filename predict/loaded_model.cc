#include "predict/loaded_model.h"

#include <algorithm>

#include "predict/linear_predictor.h"
#include "predict/model_file_check.h"
#include "svm.h"
#include "util/private_copy.h"
#include "util/process_lock.h"

namespace wenlei {

Status LoadedModel::Load(const std::string& path, std::string_view text,
                         std::unique_ptr<LoadedModel>* model) {
  Status checked = CheckModelText(text);
  if (!checked.ok()) {
    return Status(Status::Code::kCorrupt, "damaged model file " + path + ": " + checked.message(),
                  Status::Context::kModelCheck, path);
  }
  // libsvm opens a path: it gets a copy of the checked bytes, so that a
  // file rewritten meanwhile (cp over SVMModel) cannot hand its loader a
  // half-written model.
  std::unique_ptr<PrivateCopy> copy;
  Status copied = PrivateCopy::Make(text, &copy);
  if (!copied.ok()) {
    return Status(copied.code(), "model file " + path + ": " + copied.message(), Status::Context::kModelLoad,
                  path);
  }
  svm_model* loaded;
  {
    // libsvm's loader switches the process locale to "C" and back while it
    // reads; two loads at once (handles of the modern interface opened in
    // several threads) would restore each other's switch.
    ProcessWideLock lock(ProcessLockId::kModelLoader);
    loaded = svm_load_model(copy->path().c_str());
  }
  if (loaded == nullptr) {
    return Status(Status::Code::kCorrupt, "libsvm cannot load the model file " + path,
                  Status::Context::kModelLoad, path);
  }
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

namespace {

// Whether a record's indices are positive and strictly ascending, the form
// the transposed sums need.
bool Ascending(const svm_node* nodes) {
  int previous = 0;
  for (const svm_node* node = nodes; node->index != -1; ++node) {
    if (node->index <= previous) return false;
    previous = node->index;
  }
  return true;
}

}  // namespace

double LoadedModel::PredictProbability(const svm_node* nodes, double* probabilities) const {
  if (linear_ != nullptr && Ascending(nodes)) return linear_->PredictProbability(nodes, probabilities);
  return svm_predict_probability(model_, nodes, probabilities);
}

double LoadedModel::PredictProbability(const svm_node* nodes, double* probabilities,
                                       double* decisions) const {
  if (linear_ != nullptr) return linear_->PredictProbability(nodes, probabilities, decisions);
  // svm_predict_probability's own two steps, so that the decisions come
  // from the one kernel evaluation.
  svm_predict_values(model_, nodes, decisions);
  return CoupledProbabilities(model_, decisions, probabilities);
}

double LoadedModel::Predict(const svm_node* nodes) const { return svm_predict(model_, nodes); }

const char* LoadedModel::kernelName() const {
  switch (model_->param.kernel_type) {
    case LINEAR: return "linear";
    case POLY: return "polynomial";
    case RBF: return "rbf";
    case SIGMOID: return "sigmoid";
    case PRECOMPUTED: return "precomputed";
    default: return "unknown";
  }
}

const char* LoadedModel::svmTypeName() const {
  switch (svmType_) {
    case C_SVC: return "c_svc";
    case NU_SVC: return "nu_svc";
    case ONE_CLASS: return "one_class";
    case EPSILON_SVR: return "epsilon_svr";
    case NU_SVR: return "nu_svr";
    default: return "unknown";
  }
}

int LoadedModel::supportVectorCount() const { return model_->l; }

namespace {

// libsvm numbers the pairs (i, j), i < j, row by row; the pair's value
// favours i when positive.
std::size_t PairIndex(int i, int j, int classCount) {
  return static_cast<std::size_t>(i * classCount - i * (i + 1) / 2 + (j - i - 1));
}

}  // namespace

double LoadedModel::PairDecisionValue(const svm_node* x, int first, int second) const {
  const int n = model_->nr_class;
  std::vector<double> values(static_cast<std::size_t>(n * (n - 1) / 2));
  svm_predict_values(model_, x, values.data());
  const int low = std::min(first, second);
  const int high = std::max(first, second);
  const double value = values[PairIndex(low, high, n)];
  return first == low ? value : -value;
}

Status LoadedModel::LinearPairWeights(int first, int second, const std::vector<int>& features,
                                      std::vector<double>* weights, double* constant) const {
  if (model_->param.kernel_type != LINEAR) {
    return Status(Status::Code::kInvalidArgument,
                  std::string("word contributions need a linear model; this one's kernel is ") +
                      kernelName());
  }
  const int n = model_->nr_class;
  if (first < 0 || second < 0 || first >= n || second >= n || first == second || model_->nSV == nullptr) {
    return Status(Status::Code::kInvalidArgument, "no such pair of classes in the model");
  }
  const int i = std::min(first, second);
  const int j = std::max(first, second);
  std::vector<int> start(static_cast<std::size_t>(n) + 1, 0);
  for (int c = 0; c < n; ++c) start[c + 1] = start[c] + model_->nSV[c];
  // w = sum of coef * sv over the support vectors of both classes, with
  // libsvm's coefficient rows for the pair; only the features asked for.
  // Position of each feature asked for, by feature number; beyond the
  // support vectors' largest feature w is 0.
  std::vector<int> asked(static_cast<std::size_t>(largestFeature_) + 1, -1);
  for (std::size_t k = 0; k < features.size(); ++k) {
    if (features[k] >= 0 && features[k] <= largestFeature_) asked[features[k]] = static_cast<int>(k);
  }
  const double sign = first == i ? 1.0 : -1.0;
  weights->assign(features.size(), 0.0);
  auto add = [&](int begin, int end, const double* coef) {
    for (int k = begin; k < end; ++k) {
      for (const svm_node* node = model_->SV[k]; node->index != -1; ++node) {
        const int at = node->index >= 0 && node->index <= largestFeature_ ? asked[node->index] : -1;
        if (at >= 0) (*weights)[at] += sign * coef[k] * node->value;
      }
    }
  };
  add(start[i], start[i + 1], model_->sv_coef[j - 1]);
  add(start[j], start[j + 1], model_->sv_coef[i]);
  *constant = -sign * model_->rho[PairIndex(i, j, n)];
  return Status::Ok();
}

}  // namespace wenlei
