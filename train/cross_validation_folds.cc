#include "train/cross_validation_folds.h"

#include <random>
#include <utility>

namespace wenlei {

std::vector<int> AssignFolds(const Corpus& corpus, int folds, unsigned seed, std::size_t limit) {
  const std::size_t total = corpus.documents.size();
  std::vector<std::vector<std::size_t>> byClass(corpus.classNamesUtf8.size());
  for (std::size_t i = 0; i < corpus.documents.size(); ++i) {
    byClass[corpus.documents[i].classIndex].push_back(i);
  }
  // Fisher-Yates over the generator's raw output, so that the folds are the
  // same with every standard library.
  std::mt19937 random(seed);
  const bool sampled = limit != 0 && limit < total;
  std::vector<int> fold(total, sampled ? -1 : 0);
  int next = 0;
  for (auto& documents : byClass) {
    for (std::size_t i = documents.size(); i > 1; --i) {
      std::swap(documents[i - 1], documents[random() % i]);
    }
    const std::size_t taken =
        sampled ? (documents.size() * limit + total - 1) / total : documents.size();
    for (std::size_t n = 0; n < taken; ++n) {
      fold[documents[n]] = next;
      next = (next + 1) % folds;
    }
  }
  return fold;
}

std::vector<FoldDocuments> SplitIntoFolds(const std::vector<int>& foldOf, int folds) {
  std::vector<FoldDocuments> split(static_cast<std::size_t>(folds));
  for (std::size_t i = 0; i < foldOf.size(); ++i) {
    if (foldOf[i] < 0) continue;
    split[foldOf[i]].heldOutDocuments.push_back(i);
    for (int f = 0; f < folds; ++f) {
      if (f != foldOf[i]) split[f].trainingDocuments.push_back(i);
    }
  }
  return split;
}

}  // namespace wenlei
