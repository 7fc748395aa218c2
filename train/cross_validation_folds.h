#ifndef WENLEI_TRAIN_CROSS_VALIDATION_FOLDS_H_
#define WENLEI_TRAIN_CROSS_VALIDATION_FOLDS_H_

#include <cstddef>
#include <vector>

#include "train/corpus.h"

namespace wenlei {

// Document i of a corpus goes to fold AssignFolds(...)[i]: within each class
// the documents are shuffled by a generator seeded with seed and dealt out in
// turn, continuing from class to class, so folds differ in size by one
// document at most and hold every class in proportion.
//
// With a limit below the corpus's size only that many documents (each
// class's share, rounded up) are dealt out, the first of each class's
// shuffled order; the others get fold -1 and are in no fold.
std::vector<int> AssignFolds(const Corpus& corpus, int folds, unsigned seed,
                             std::size_t limit = 0);

// The documents of one cross-validation fold: those it trains on, whose
// words alone are ranked and counted for its resource file, and those it
// holds out.
struct FoldDocuments {
  std::vector<std::size_t> trainingDocuments;  // corpus indices, ascending
  std::vector<std::size_t> heldOutDocuments;   // likewise
};

// Fold f holds out the documents assigned to it and trains on all others
// that are in a fold.
std::vector<FoldDocuments> SplitIntoFolds(const std::vector<int>& foldOf, int folds);

}  // namespace wenlei

#endif  // WENLEI_TRAIN_CROSS_VALIDATION_FOLDS_H_
