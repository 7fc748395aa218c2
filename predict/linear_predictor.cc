#include "predict/linear_predictor.h"

#include <algorithm>
#include <cmath>

#include "svm.h"

namespace wenlei {
namespace {

// libsvm's own min and max, whose choice on equal values and NaN the
// coupling below relies on.
inline double Min(double x, double y) { return (x < y) ? x : y; }
inline double Max(double x, double y) { return (x > y) ? x : y; }

double SigmoidPredict(double decisionValue, double a, double b) {
  const double fApB = decisionValue * a + b;
  // 1-p used later; avoid catastrophic cancellation
  if (fApB >= 0) return std::exp(-fApB) / (1.0 + std::exp(-fApB));
  return 1.0 / (1 + std::exp(fApB));
}

// Method 2 of Wu, Lin and Weng's pairwise coupling, as libsvm computes it.
void MulticlassProbability(int k, const std::vector<std::vector<double>>& r, double* p) {
  const int maxIter = 100 > k ? 100 : k;
  std::vector<std::vector<double>> q(k, std::vector<double>(k));
  std::vector<double> qp(k);
  double pQp;
  const double eps = 0.005 / k;
  for (int t = 0; t < k; t++) {
    p[t] = 1.0 / k;
    q[t][t] = 0;
    for (int j = 0; j < t; j++) {
      q[t][t] += r[j][t] * r[j][t];
      q[t][j] = q[j][t];
    }
    for (int j = t + 1; j < k; j++) {
      q[t][t] += r[j][t] * r[j][t];
      q[t][j] = -r[j][t] * r[t][j];
    }
  }
  for (int iter = 0; iter < maxIter; iter++) {
    pQp = 0;
    for (int t = 0; t < k; t++) {
      qp[t] = 0;
      for (int j = 0; j < k; j++) qp[t] += q[t][j] * p[j];
      pQp += p[t] * qp[t];
    }
    double maxError = 0;
    for (int t = 0; t < k; t++) {
      const double error = std::fabs(qp[t] - pQp);
      if (error > maxError) maxError = error;
    }
    if (maxError < eps) break;
    for (int t = 0; t < k; t++) {
      const double diff = (-qp[t] + pQp) / q[t][t];
      p[t] += diff;
      pQp = (pQp + diff * (diff * q[t][t] + 2 * qp[t])) / (1 + diff) / (1 + diff);
      for (int j = 0; j < k; j++) {
        qp[j] = (qp[j] + diff * q[t][j]) / (1 + diff);
        p[j] /= (1 + diff);
      }
    }
  }
}

}  // namespace

std::unique_ptr<LinearPredictor> LinearPredictor::For(const svm_model* model, int highestFeature) {
  const int type = model->param.svm_type;
  if ((type != C_SVC && type != NU_SVC) || model->param.kernel_type != LINEAR ||
      model->probA == nullptr || model->probB == nullptr || model->label == nullptr ||
      model->nSV == nullptr || model->nr_class < 2 || model->l < 0) {
    return nullptr;
  }
  int highest = 0;
  std::size_t entries = 0;
  for (int i = 0; i < model->l; ++i) {
    int previous = 0;
    for (const svm_node* node = model->SV[i]; node->index != -1; ++node) {
      if (node->index <= previous || node->index > highestFeature) return nullptr;
      previous = node->index;
      ++entries;
    }
    if (previous > highest) highest = previous;
  }
  std::unique_ptr<LinearPredictor> predictor(new LinearPredictor(model));
  std::vector<std::size_t>& start = predictor->start_;
  start.assign(static_cast<std::size_t>(highest) + 2, 0);
  for (int i = 0; i < model->l; ++i) {
    for (const svm_node* node = model->SV[i]; node->index != -1; ++node) {
      ++start[static_cast<std::size_t>(node->index) + 1];
    }
  }
  for (std::size_t f = 1; f < start.size(); ++f) start[f] += start[f - 1];
  predictor->vectorOf_.resize(entries);
  predictor->valueOf_.resize(entries);
  std::vector<std::size_t> next(start.begin(), start.end() - 1);
  for (int i = 0; i < model->l; ++i) {
    for (const svm_node* node = model->SV[i]; node->index != -1; ++node) {
      const std::size_t at = next[static_cast<std::size_t>(node->index)]++;
      predictor->vectorOf_[at] = i;
      predictor->valueOf_[at] = node->value;
    }
  }
  return predictor;
}

double LinearPredictor::PredictProbability(const svm_node* x, double* probabilities,
                                           double* decisionsWanted) const {
  const svm_model* model = model_;
  const int classes = model->nr_class;
  // Kernel values: each support vector's products in ascending feature
  // order, as the merge in libsvm's dot product meets them.
  std::vector<double> kvalue(static_cast<std::size_t>(model->l), 0.0);
  const std::size_t features = start_.size() - 1;
  for (const svm_node* node = x; node->index != -1; ++node) {
    const std::size_t f = static_cast<std::size_t>(node->index);
    if (node->index <= 0 || f >= features) continue;
    for (std::size_t at = start_[f]; at < start_[f + 1]; ++at) {
      kvalue[static_cast<std::size_t>(vectorOf_[at])] += node->value * valueOf_[at];
    }
  }

  std::vector<int> first(static_cast<std::size_t>(classes));
  first[0] = 0;
  for (int i = 1; i < classes; i++) first[i] = first[i - 1] + model->nSV[i - 1];
  std::vector<double> decisions(static_cast<std::size_t>(classes * (classes - 1) / 2));
  int p = 0;
  for (int i = 0; i < classes; i++) {
    for (int j = i + 1; j < classes; j++) {
      double sum = 0;
      const int si = first[i];
      const int sj = first[j];
      const int ci = model->nSV[i];
      const int cj = model->nSV[j];
      const double* coef1 = model->sv_coef[j - 1];
      const double* coef2 = model->sv_coef[i];
      for (int k = 0; k < ci; k++) sum += coef1[si + k] * kvalue[si + k];
      for (int k = 0; k < cj; k++) sum += coef2[sj + k] * kvalue[sj + k];
      sum -= model->rho[p];
      decisions[p] = sum;
      p++;
    }
  }
  if (decisionsWanted != nullptr) std::copy(decisions.begin(), decisions.end(), decisionsWanted);
  return CoupledProbabilities(model, decisions.data(), probabilities);
}

double CoupledProbabilities(const svm_model* model, const double* decisions,
                            double* probabilities) {
  const int classes = model->nr_class;
  const double minProbability = 1e-7;
  std::vector<std::vector<double>> pairwise(classes, std::vector<double>(classes));
  int k = 0;
  for (int i = 0; i < classes; i++) {
    for (int j = i + 1; j < classes; j++) {
      pairwise[i][j] = Min(Max(SigmoidPredict(decisions[k], model->probA[k], model->probB[k]),
                               minProbability),
                           1 - minProbability);
      pairwise[j][i] = 1 - pairwise[i][j];
      k++;
    }
  }
  if (classes == 2) {
    probabilities[0] = pairwise[0][1];
    probabilities[1] = pairwise[1][0];
  } else {
    MulticlassProbability(classes, pairwise, probabilities);
  }
  int best = 0;
  for (int i = 1; i < classes; i++) {
    if (probabilities[i] > probabilities[best]) best = i;
  }
  return model->label[best];
}

}  // namespace wenlei
