#include "tools/training/probability_scorer.h"

#include <algorithm>
#include <numeric>
#include <string_view>

#include "decide/confidence.h"
#include "source/source_file.h"
#include "svm.h"
#include "text/content_word.h"
#include "vectorise/document_features.h"

namespace wenlei {

Status ProbabilityScorer::Open(const std::string& prefix,
                               std::unique_ptr<ProbabilityScorer>* opened) {
  std::unique_ptr<ProbabilityScorer> scorer(new ProbabilityScorer());
  if (!scorer->sourceData_.Load(prefix).ok()) {
    return Status(Status::Code::kCorrupt, prefix + kSourceFileName + ": missing or malformed");
  }
  const std::string modelPath = prefix + kModelFileName;
  scorer->model_ = svm_load_model(modelPath.c_str());
  if (scorer->model_ == nullptr || svm_check_probability_model(scorer->model_) == 0) {
    return Status(Status::Code::kCorrupt, modelPath + ": not a model with probability estimates");
  }
  scorer->labels_.resize(svm_get_nr_class(scorer->model_));
  svm_get_labels(scorer->model_, scorer->labels_.data());
  *opened = std::move(scorer);
  return Status::Ok();
}

ProbabilityScorer::~ProbabilityScorer() {
  if (model_) svm_free_and_destroy_model(&model_);
}

DocumentScore ProbabilityScorer::Score(const std::vector<std::string>& gbkWords) const {
  DocumentScore score;
  score.words = gbkWords.size();
  const std::vector<std::string_view> words(gbkWords.begin(), gbkWords.end());
  const DocumentFeatures document = VectoriseWords(words, sourceData_);
  score.knownWords = static_cast<std::size_t>(document.knownWordCount);
  const ContentWords content = CountContentWords(gbkWords, document.occurrences);
  if (document.features.empty()) return score;
  std::vector<svm_node> nodes;
  for (const auto& [index, value] : document.features) nodes.push_back({index, value});
  nodes.push_back({-1, 0.0});
  std::vector<double> byLabel(labels_.size());
  svm_predict_probability(model_, nodes.data(), byLabel.data());
  int highest = 0;
  for (int label : labels_) highest = std::max(highest, label);
  score.probabilities.assign(highest, 0.0);
  for (std::size_t j = 0; j < labels_.size(); ++j) {
    if (labels_[j] >= 1) score.probabilities[labels_[j] - 1] = byLabel[j];
  }
  score.ranking.resize(score.probabilities.size());
  std::iota(score.ranking.begin(), score.ranking.end(), 0);
  std::stable_sort(score.ranking.begin(), score.ranking.end(), [&score](int a, int b) {
    return score.probabilities[a] > score.probabilities[b];
  });
  std::vector<double> sorted(score.probabilities);
  std::sort(sorted.rbegin(), sorted.rend());
  score.confidence = AnswerConfidence(sorted, content.words, content.known);
  return score;
}

}  // namespace wenlei
