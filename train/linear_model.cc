#include "train/linear_model.h"

#if defined(_WIN32)
#include <windows.h>
#endif
#include <cstdio>

#include "util/file_bytes.h"
#include "util/number_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace wenlei {

namespace {

// libsvm writes vector values with 8 significant digits; the model in
// memory holds them so, and decides as the file read back does.
std::vector<svm_node> AsWritten(const std::vector<svm_node>& weights) {
  std::vector<svm_node> vector;
  for (const svm_node& node : weights) {
    if (node.index == -1) break;
    const double value = RoundToSignificantDigits(node.value, 8);
    if (value != 0.0) vector.push_back({node.index, value});
  }
  vector.push_back({-1, 0.0});
  return vector;
}

// A line of libsvm's header: the name, then each value behind a space.
template <typename Append>
void AppendHeaderLine(const char* name, int count, Append append, std::string* out) {
  *out += name;
  for (int i = 0; i < count; ++i) {
    out->push_back(' ');
    append(i);
  }
  out->push_back('\n');
}

}  // namespace

bool ParseMulticlass(const std::string& name, Multiclass* multiclass) {
  if (name == "one-vs-rest") {
    *multiclass = Multiclass::kOneVsRest;
  } else if (name == "one-vs-one") {
    *multiclass = Multiclass::kOneVsOne;
  } else {
    return false;
  }
  return true;
}

const char* MulticlassName(Multiclass multiclass) {
  return multiclass == Multiclass::kOneVsOne ? "one-vs-one" : "one-vs-rest";
}


std::size_t PairCount(std::size_t classes) { return classes * (classes - 1) / 2; }

std::vector<double> LinearModel::PairDecisions(const svm_node* x) const {
  return PairDecisionRows({x})[0];
}

std::vector<std::vector<double>> LinearModel::PairDecisionRows(
    const std::vector<const svm_node*>& rows) const {
  // Each vector's value for every row: the vectors' stored weights are the
  // non-zero ones, so skipping zeros adds exactly a sparse dot product's
  // products, in the same order.
  std::vector<std::vector<double>> values(rows.size(), std::vector<double>(weights.size()));
  std::vector<double> dense;
  for (std::size_t v = 0; v < weights.size(); ++v) {
    dense.clear();
    for (const svm_node* w = weights[v].data(); w->index != -1; ++w) {
      if (static_cast<std::size_t>(w->index) >= dense.size()) dense.resize(w->index + 1, 0.0);
      dense[w->index] = w->value;
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
      double sum = 0.0;
      for (const svm_node* x = rows[r]; x->index != -1; ++x) {
        const auto index = static_cast<std::size_t>(x->index);
        if (index < dense.size() && dense[index] != 0.0) sum += x->value * dense[index];
      }
      values[r][v] = sum + biases[v];
    }
  }
  if (multiclass == Multiclass::kOneVsOne) return values;
  for (std::vector<double>& scores : values) {
    std::vector<double> pairs;
    pairs.reserve(PairCount(classCount));
    for (std::size_t i = 0; i < classCount; ++i) {
      for (std::size_t j = i + 1; j < classCount; ++j) pairs.push_back(scores[i] - scores[j]);
    }
    scores = std::move(pairs);
  }
  return values;
}

std::size_t VotedClass(const std::vector<double>& pairDecisions, std::size_t classes) {
  std::vector<int> votes(classes, 0);
  std::size_t p = 0;
  for (std::size_t i = 0; i < classes; ++i) {
    for (std::size_t j = i + 1; j < classes; ++j, ++p) ++votes[pairDecisions[p] > 0 ? i : j];
  }
  return static_cast<std::size_t>(std::max_element(votes.begin(), votes.end()) - votes.begin());
}

LibsvmLinearModel::LibsvmLinearModel(const LinearModel& linear, std::vector<double> probA,
                                     std::vector<double> probB)
    : probA_(std::move(probA)), probB_(std::move(probB)) {
  const std::size_t n = linear.classes();
  coefficients_.assign(n - 1, {});
  if (linear.multiclass == Multiclass::kOneVsOne) {
    // Each pair's vector goes to the class of the two that holds fewer.
    std::vector<std::vector<std::size_t>> pairsOf(n);
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = i + 1; j < n; ++j) {
        pairsOf[pairsOf[j].size() < pairsOf[i].size() ? j : i].push_back(pairs.size());
        pairs.emplace_back(i, j);
        rho_.push_back(-linear.biases[pairs.size() - 1]);
      }
    }
    for (std::size_t c = 0; c < n; ++c) {
      for (std::size_t p : pairsOf[c]) {
        vectors_.push_back(AsWritten(linear.weights[p]));
        // Class c's row for pair (c, j) is j - 1, for pair (i, c) it is i.
        const auto [i, j] = pairs[p];
        const std::size_t row = c == i ? j - 1 : i;
        for (std::size_t m = 0; m + 1 < n; ++m) coefficients_[m].push_back(m == row ? 1.0 : 0.0);
      }
      labels_.push_back(static_cast<int>(c + 1));
      supportVectorCounts_.push_back(static_cast<int>(pairsOf[c].size()));
    }
  } else {
    // Row m of the coefficients belongs to the pairs of each class c: pair
    // (m, c) for m < c, where c is second (-1); pair (c, m + 1) otherwise,
    // where c is first (+1).
    for (std::size_t c = 0; c < n; ++c) {
      vectors_.push_back(AsWritten(linear.weights[c]));
      for (std::size_t m = 0; m + 1 < n; ++m) coefficients_[m].push_back(m < c ? -1.0 : 1.0);
      labels_.push_back(static_cast<int>(c + 1));
      supportVectorCounts_.push_back(1);
    }
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = i + 1; j < n; ++j) rho_.push_back(linear.biases[j] - linear.biases[i]);
    }
  }
  for (auto& vector : vectors_) vectorPointers_.push_back(vector.data());
  for (auto& row : coefficients_) coefficientPointers_.push_back(row.data());
  model_.param.svm_type = C_SVC;
  model_.param.kernel_type = LINEAR;
  model_.nr_class = static_cast<int>(n);
  model_.l = static_cast<int>(vectors_.size());
  model_.SV = vectorPointers_.data();
  model_.sv_coef = coefficientPointers_.data();
  model_.rho = rho_.data();
  model_.probA = probA_.empty() ? nullptr : probA_.data();
  model_.probB = probB_.empty() ? nullptr : probB_.data();
  model_.label = labels_.data();
  model_.nSV = supportVectorCounts_.data();
  model_.free_sv = 0;
}

Status SaveSvmModel(const std::string& path, const svm_model* model) {
  const Status cannot(Status::Code::kIoError, "cannot write " + path);
#if defined(_WIN32)
  std::string name;  // UTF-8, which the Windows builds' libsvm opens as such
  if (!MakeTemporaryFile(&name).ok()) return cannot;
  std::string text;
  bool done = svm_save_model(name.c_str(), model) == 0;
  if (std::FILE* saved = done ? OpenFile(name, "r") : nullptr) {  // text mode: LF line ends
    char buffer[1 << 16];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, saved)) > 0) text.append(buffer, got);
    done = !std::ferror(saved);
    std::fclose(saved);
  } else {
    done = false;
  }
  DeleteFileW(Utf8Path(name).c_str());
  std::FILE* out = done ? OpenFile(path, "wb") : nullptr;
  done = out != nullptr && std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (out != nullptr && std::fclose(out) != 0) done = false;
  return done ? Status::Ok() : cannot;
#else
  return svm_save_model(path.c_str(), model) == 0 ? Status::Ok() : cannot;
#endif
}

// libsvm's writer, whose format the "%.17g" and "%.8g" of AppendGeneral
// follow (printf's, in the C locale).
std::string LibsvmLinearModel::Text() const {
  const int n = model_.nr_class;
  const int pairs = n * (n - 1) / 2;
  std::string text = "svm_type c_svc\nkernel_type linear\nnr_class ";
  text += std::to_string(n);
  text += "\ntotal_sv ";
  text += std::to_string(model_.l);
  text.push_back('\n');
  AppendHeaderLine("rho", pairs, [&](int i) { AppendGeneral(model_.rho[i], &text, 17); }, &text);
  AppendHeaderLine("label", n, [&](int i) { text += std::to_string(model_.label[i]); }, &text);
  if (model_.probA != nullptr) {
    AppendHeaderLine("probA", pairs, [&](int i) { AppendGeneral(model_.probA[i], &text, 17); }, &text);
  }
  if (model_.probB != nullptr) {
    AppendHeaderLine("probB", pairs, [&](int i) { AppendGeneral(model_.probB[i], &text, 17); }, &text);
  }
  AppendHeaderLine("nr_sv", n, [&](int i) { text += std::to_string(model_.nSV[i]); }, &text);
  text += "SV\n";
  for (int v = 0; v < model_.l; ++v) {
    for (int m = 0; m + 1 < n; ++m) {
      AppendGeneral(model_.sv_coef[m][v], &text, 17);
      text.push_back(' ');
    }
    for (const svm_node* node = model_.SV[v]; node->index != -1; ++node) {
      text += std::to_string(node->index);
      text.push_back(':');
      AppendGeneral(node->value, &text, 8);
      text.push_back(' ');
    }
    text.push_back('\n');
  }
  return text;
}

Status LibsvmLinearModel::Save(const std::string& path) const {
  const std::string text = Text();
  std::FILE* file = OpenFile(path, "wb");
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr && std::fclose(file) != 0) written = false;
  return written ? Status::Ok() : Status(Status::Code::kIoError, "cannot write " + path);
}

}  // namespace wenlei
