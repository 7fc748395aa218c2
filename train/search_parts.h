#ifndef WENLEI_TRAIN_SEARCH_PARTS_H_
#define WENLEI_TRAIN_SEARCH_PARTS_H_

// The cross-validated search spread over machines.  Its units are the
// trainings of one fold at one k for one candidate of what the set reads,
// each unit training every cost and class weighting of the grid.  A run
// given a share I/N cross-validates the units numbered I-1, I-1+N,
// I-1+2N, ... and writes their held-out answers to a results file instead
// of a set; a run given the results files of all the shares takes every
// unit's answers from them and chooses, calibrates and writes the set that
// one whole run writes.

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "text/character_features.h"
#include "train/corpus.h"
#include "train/cross_validation_folds.h"
#include "util/status.h"

namespace wenlei {

struct TrainerOptions;

// Share index of count (1 <= index <= count); count 0: the whole search.
struct SearchPart {
  std::size_t index = 0;
  std::size_t count = 0;
};

// "I/N", 1 <= I <= N <= 100000.
bool ParseSearchPart(const std::string& text, SearchPart* part);
std::string SearchPartName(const SearchPart& part);

// The results file a share writes into its output directory:
// "SearchPart-I-of-N.txt".
std::string SearchPartFileName(const SearchPart& part);

class SearchParts {
 public:
  // Into *parts the share or the given results the options ask for, or
  // null when they ask for neither (the whole search runs here).  Results
  // files that cannot be read, belong to another corpus or other settings,
  // or hold a unit twice are refused.
  static Status Open(const Corpus& corpus, const TrainerOptions& options,
                     std::shared_ptr<SearchParts>* parts);

  // Whether this run computes a share (else it takes given results).
  bool computing() const { return part_.count != 0; }

  // The search turns to the folds at k of the candidate reads, whose
  // ranking holds rankedUnits units.
  void BeginPass(const FeatureSet& reads, std::size_t k, std::size_t rankedUnits);
  // Whether this share cross-validates fold f of the pass.
  bool Computes(std::size_t fold) const;
  // A share keeps the answers of its folds in the pass at the points
  // (predicted, as the search fills it), or the fault that ended the pass.
  void Keep(const std::vector<FoldDocuments>& folds,
            const std::vector<std::pair<double, double>>& points,
            const std::vector<std::vector<double>>& predicted, const Status& outcome);
  // The given answers of every fold of the pass at the points (weighting
  // power, cost) into *predicted as the search would have computed them,
  // or the fault a share met in the pass; a unit no file holds is an error.
  Status Fill(const std::vector<FoldDocuments>& folds,
              const std::vector<std::pair<double, double>>& points,
              std::vector<std::vector<double>>* predicted);
  // Once the search has gone through every candidate: a share writes its
  // results file under prefix; given results that lacked a unit the search
  // asked for, or held it for another grid, are refused, whatever the
  // other candidates found.
  Status Finish(const std::string& prefix) const;

 private:
  // The candidate's name, k and fold.
  using UnitKey = std::tuple<std::string, std::size_t, std::size_t>;
  struct Unit {
    std::vector<std::string> points;   // "power cost" of each line
    std::vector<std::string> answers;  // a character per held-out document
    int faultCode = 0;                 // Status::Code; 0: answered
    std::string fault;
  };

  SearchParts(const Corpus& corpus, const TrainerOptions& options);
  Status Read(const std::string& path);
  Status Write(const std::string& prefix) const;
  std::string Header() const;
  UnitKey Key(std::size_t fold) const;

  const Corpus& corpus_;
  const TrainerOptions& options_;
  SearchPart part_;
  std::string passReads_;
  std::size_t passK_ = 0;
  std::size_t passFirstUnit_ = 0;
  std::map<UnitKey, Unit> units_;  // kept by a share, or given
  Status refused_;                  // the first unit given results lacked
};

}  // namespace wenlei

#endif  // WENLEI_TRAIN_SEARCH_PARTS_H_
