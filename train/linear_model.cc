#include "train/linear_model.h"

#include <cstdio>
#include <cstdlib>

namespace wenlei {

std::vector<double> LinearModel::Scores(const svm_node* x) const {
  std::vector<double> scores(classes());
  for (std::size_t c = 0; c < classes(); ++c) {
    // A sparse dot product, added in ascending feature order as libsvm adds.
    double sum = 0.0;
    const svm_node* a = x;
    const svm_node* b = weights[c].data();
    while (a->index != -1 && b->index != -1) {
      if (a->index == b->index) {
        sum += a->value * b->value;
        ++a;
        ++b;
      } else if (a->index < b->index) {
        ++a;
      } else {
        ++b;
      }
    }
    scores[c] = sum + biases[c];
  }
  return scores;
}

std::vector<std::vector<double>> LinearModel::ScoreRows(
    const std::vector<const svm_node*>& rows) const {
  std::vector<std::vector<double>> scores(rows.size(), std::vector<double>(classes()));
  std::vector<double> dense;
  for (std::size_t c = 0; c < classes(); ++c) {
    dense.clear();
    for (const svm_node* w = weights[c].data(); w->index != -1; ++w) {
      if (static_cast<std::size_t>(w->index) >= dense.size()) dense.resize(w->index + 1, 0.0);
      dense[w->index] = w->value;
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
      // The stored weights are the non-zero ones, so skipping zeros adds
      // exactly the products that Scores adds, in the same order.
      double sum = 0.0;
      for (const svm_node* x = rows[r]; x->index != -1; ++x) {
        const auto index = static_cast<std::size_t>(x->index);
        if (index < dense.size() && dense[index] != 0.0) sum += x->value * dense[index];
      }
      scores[r][c] = sum + biases[c];
    }
  }
  return scores;
}

std::size_t PairCount(std::size_t classes) { return classes * (classes - 1) / 2; }

LibsvmLinearModel::LibsvmLinearModel(const LinearModel& linear, std::vector<double> probA,
                                     std::vector<double> probB)
    : probA_(std::move(probA)), probB_(std::move(probB)) {
  const std::size_t n = linear.classes();
  // libsvm writes vector values with 8 significant digits; the model in
  // memory holds them so, and decides as the file read back does.
  vectors_.resize(n);
  for (std::size_t c = 0; c < n; ++c) {
    for (const svm_node& node : linear.weights[c]) {
      if (node.index == -1) break;
      char text[32];
      std::snprintf(text, sizeof text, "%.8g", node.value);
      const double value = std::strtod(text, nullptr);
      if (value != 0.0) vectors_[c].push_back({node.index, value});
    }
    vectors_[c].push_back({-1, 0.0});
  }
  for (auto& vector : vectors_) vectorPointers_.push_back(vector.data());
  // Row m of the coefficients belongs to the pairs of each class c: pair
  // (m, c) for m < c, where c is second (-1); pair (c, m + 1) otherwise,
  // where c is first (+1).
  coefficients_.assign(n - 1, std::vector<double>(n));
  for (std::size_t m = 0; m + 1 < n; ++m) {
    for (std::size_t c = 0; c < n; ++c) coefficients_[m][c] = m < c ? -1.0 : 1.0;
  }
  for (auto& row : coefficients_) coefficientPointers_.push_back(row.data());
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) rho_.push_back(linear.biases[j] - linear.biases[i]);
  }
  for (std::size_t c = 0; c < n; ++c) {
    labels_.push_back(static_cast<int>(c + 1));
    supportVectorCounts_.push_back(1);
  }
  model_.param.svm_type = C_SVC;
  model_.param.kernel_type = LINEAR;
  model_.nr_class = static_cast<int>(n);
  model_.l = static_cast<int>(n);
  model_.SV = vectorPointers_.data();
  model_.sv_coef = coefficientPointers_.data();
  model_.rho = rho_.data();
  model_.probA = probA_.empty() ? nullptr : probA_.data();
  model_.probB = probB_.empty() ? nullptr : probB_.data();
  model_.label = labels_.data();
  model_.nSV = supportVectorCounts_.data();
  model_.free_sv = 0;
}

Status LibsvmLinearModel::Save(const std::string& path) const {
  if (svm_save_model(path.c_str(), &model_) != 0) {
    return Status(Status::Code::kIoError, "cannot write " + path);
  }
  return Status::Ok();
}

}  // namespace wenlei
