#ifndef WENLEI_TRAIN_TRAINER_H_
#define WENLEI_TRAIN_TRAINER_H_

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <string>
#include <vector>

#include "source/source_data.h"
#include "source/source_file.h"
#include "text/character_features.h"
#include "text/content_word.h"
#include "train/corpus.h"
#include "train/corpus_vectoriser.h"
#include "train/cross_validation_folds.h"
#include "train/feature_selection.h"
#include "train/linear_model.h"
#include "train/linear_training.h"
#include "train/search_parts.h"
#include "train/stop_words.h"

struct svm_parameter;

namespace wenlei {

// Which words the vocabulary (WordIndexTable) holds.  The term map always
// holds the selected words only.  With kFull every word that passes the
// document-frequency minimum is counted and weighted, so the normalisation
// runs over more words than the vector keeps and vectors come out shorter
// than unit length.
enum class VocabularyScope { kSelected, kFull };

// How the candidate words are ranked for selection: by their largest
// chi-square over the classes, or in turns over the classes (see
// FeatureStatistics::RankByClassTurns).
enum class RankingOrder { kChiSquare, kClassTurns };

// Checks the corpus's class names against what the answers can show: at most
// kClassLimit classes, none named "NULL" (the entry before the first class), and no
// two whose answer forms (the text after a leading "tag ") are equal.
Status CheckClassNames(const Corpus& corpus);

// libsvm kernel numbers: LINEAR, POLY, RBF, SIGMOID.
bool ParseKernel(const std::string& name, int* kernelType);
const char* KernelName(int kernelType);

struct TrainerOptions {
  // The defaults are those that measured best in accuracy and time beside
  // the peers (bench/TRAINING.md): words of one document too, the best
  // 1,000, 2,000, 4,000 or all of them as the vocabulary, a grid of 8 costs,
  // the L2-loss SVM one-vs-one.
  std::size_t minDocumentFrequency = 1;
  // What a set may read, the candidates of the cross-validation; the first
  // wins a tie.
  std::vector<FeatureSet> featureSets = {ParseFeatureSet("words").value(),
                                         ParseFeatureSet("words+chars1-2").value()};
  // Candidate numbers of selected units; 0 stands for every unit.
  std::vector<std::size_t> featureCounts = {1000, 2000, 4000, 0};
  std::vector<double> costs = {0.0625, 0.125, 0.25, 0.5, 1, 2, 4, 8};
  int folds = 5;
  VocabularyScope vocabulary = VocabularyScope::kSelected;
  RankingOrder ranking = RankingOrder::kClassTurns;
  int kernelType = 0;  // LINEAR
  // The linear kernel's solver; the other kernels always train with libsvm.
  Solver solver = Solver::kL2SvmDual;
  // How the linear solvers make one model of many classes.
  Multiclass multiclass = Multiclass::kOneVsOne;
  // Folds trained at once, each on a thread (0: one per processor); the
  // files do not depend on it.  The trainings that draw from the C
  // library's one rand() take turns (train/seeded_rand.h).
  unsigned jobs = 0;
  int degree = 3;
  double gamma = 1.0;
  double coef0 = 0.0;
  unsigned seed = 1;
  // Candidate class weightings: each class's cost is multiplied by
  // (N / (n * N_c))^power, so that power 0 weighs every document alike and
  // power 1 makes each class weigh as much as any other.
  std::vector<double> classWeightPowers = {0.0};
  // Factors of single classes' costs (UTF-8 class name, factor above 0), on
  // top of the weighting: liblinear's and libsvm's per-class weights.
  std::vector<std::pair<std::string, double>> classWeights;
  SynonymTable synonyms;
  // Words left out of the ranking (the command reads models/stop-words.txt).
  StopWords stopWords;
  // Share of the cross-validated training documents whose confidence may
  // fall below the stored threshold (the calibration's target).
  double unknownShare = 0.02;
  // The highest threshold the calibration may store.  On a large or
  // generated corpus the cross-validated documents are more alike than the
  // text a set meets later: almost all of their words are known and their
  // answers sure, so the share's threshold climbs towards 1 and would flag
  // most new in-domain documents.  0.65 is what a document two thirds of
  // whose content words are known, answered with two thirds of the
  // probability, gets; no set of the benchmark's real corpora reached it,
  // so it changes only the thresholds that had lost their promise.
  double highestThreshold = 0.65;
  // With one point of the grid (one k, one cost, one weighting) there is
  // nothing to choose: no cross-validation, and the confidence (and the
  // linear model's probabilities) calibrated on one fold held out, the
  // model of the others predicting it.  Two trainings instead of twice
  // the folds, for a caller that tunes the point itself.
  bool heldOut = false;
  // The search and the calibration see at most this many documents (0:
  // all), each class's share drawn with the seed; the vocabulary and the
  // final model see every document.  The search's cost would otherwise grow
  // faster than the corpus, for choices that a few tens of thousands of
  // documents already make.
  std::size_t searchDocuments = 32000;
  // The search spread over machines (train/search_parts.h): a share of its
  // units to cross-validate into a results file instead of a set, or the
  // results files of every share to take instead of cross-validating.
  SearchPart searchPart;
  std::vector<std::string> searchResults;
};

// The idf written for a word held by df of n training documents:
// ln((1 + n) / (1 + df)) + 1, finite and at least 1 for every word, also for
// a variant word that no training document holds.
double InverseDocumentFrequency(std::size_t documents, std::size_t documentFrequency);

// One point of the parameter grid and its cross-validation accuracy.
struct GridPoint {
  std::size_t features = 0;  // selected units
  double cost = 0.0;
  double weightPower = 0.0;
  double accuracy = 0.0;  // share of all training documents predicted right
  double macroF1 = 0.0;   // over the classes, from the same predictions
  FeatureSet reads;       // what the set reads
};

struct TrainingReport {
  std::size_t documents = 0;
  std::size_t classes = 0;
  std::size_t rankedUnits = 0;       // units that pass the minimum frequency
  std::size_t stoppedUnits = 0;      // of those, left out as stop words
  std::size_t selectedUnits = 0;     // chosen k
  FeatureSet reads;                  // what the set reads
  std::size_t vocabularyWords = 0;   // WordIndexTable
  std::size_t termMapWords = 0;      // TermMapTable
  std::size_t documentsWithoutFeatures = 0;  // left out of the training problem
  double averageDocLength = 0.0;
  double cost = 0.0;
  double weightPower = 0.0;
  double crossValidationAccuracy = 0.0;
  double crossValidationMacroF1 = 0.0;
  // The confidence threshold chosen on the cross-validated probabilities of
  // the chosen point, and the share of training documents under it.
  double minConfidence = 0.0;
  double flaggedShare = 0.0;
  // The share's threshold was higher than the options' highest one.
  bool thresholdCapped = false;
  // Documents the search and the calibration saw (searchDocuments).
  std::size_t searchedDocuments = 0;
  int supportVectors = 0;
  std::vector<GridPoint> grid;
  // Candidate k left out of the grid: some class had no document with a
  // selected word (the first such class's UTF-8 name, at the same index).
  std::vector<std::size_t> skippedFeatureCounts;
  std::vector<std::string> skippedForClass;
  // What answering every document with the largest class would score; a
  // cross-validation accuracy at or below it means the model learnt nothing
  // usable (too few documents per class, say).
  double chanceAccuracy = 0.0;
  bool AtOrBelowChance() const { return crossValidationAccuracy <= chanceAccuracy; }
};

// The warning for a report whose accuracy is at or below chance.
std::string ChanceWarning(const TrainingReport& report);

// Reports the work as it goes and may stop it.
class TrainingProgress {
 public:
  virtual ~TrainingProgress() = default;
  // A line that describes the work now under way.
  virtual void Status(const std::string& line) = 0;
  // How far a stage is, in units done of total; true asks the run to stop,
  // which it does at its next unit.
  virtual bool Advance(const std::string& stage, double done, double total) {
    (void)stage, (void)done, (void)total;
    return false;
  }
  // Something the caller should know about the input; the run goes on.
  virtual void Warning(const std::string& line) { (void)line; }
};

// The error text of a run that its progress stopped.
inline constexpr char kCancelledMessage[] = "training cancelled";

// The records of a resource file for the top-k units of a ranking (k = 0 or
// above the ranking's size: every unit).  The vocabulary lists the selected
// units' words first, then (kFull) the other ranked units' words, each group
// in ascending byte order; every vocabulary word has an idf.  A unit with
// variants maps each member, itself included, to the unit, so that the
// members' weights add up; a lone word maps to itself through the empty
// canonical word.  averageDocLength is left at 0.
SourceFileContents BuildResourceContents(const FeatureStatistics& statistics,
                                         const std::vector<RankedUnit>& ranking, std::size_t k,
                                         VocabularyScope vocabulary,
                                         const std::vector<std::string>& classNamesGbk);

// Builds the model for a corpus: the cross-validated choice of k and C, the
// resource file prefix + "Source.dat" and the model prefix + "SVMModel".
class Trainer {
 public:
  Trainer(const Corpus& corpus, TrainerOptions options, TrainingProgress* progress);

  // A run stopped by its progress fails with kCancelled and
  // kCancelledMessage; a file that cannot be written with kIoError; a corpus
  // or options that give no model with kInvalidArgument.
  Status Train(const std::string& prefix, TrainingReport* report);

 private:
  struct Problem;
  using Fold = FoldDocuments;
  struct Step;

  // The rows of the given documents (all of the corpus when null), by
  // class; in liblinear's form when forLiblinear.  With everyClass, a class
  // left without a row is an error.
  Status BuildProblem(const CorpusVectoriser& vectoriser, double averageDocLength,
                      const std::vector<std::size_t>* documents, bool forLiblinear,
                      bool everyClass, Problem* problem) const;
  std::vector<RankedUnit> RankContentUnits(const FeatureStatistics& statistics,
                                           std::size_t* stopped) const;
  // A fold's training rows (unless null) and held-out rows at k, under a
  // resource file made from its training documents alone.
  Status PrepareFold(const Fold& fold, std::size_t k, Problem* training, Problem* heldOut) const;
  Status CrossValidatePoints(const std::vector<Fold>& folds, std::size_t k,
                             const std::vector<std::pair<double, double>>& points,
                             const std::function<bool(const Step&)>& report,
                             std::vector<std::vector<double>>* predicted);
  Status CrossValidateProbabilities(const std::vector<Fold>& folds, const GridPoint& point,
                                    const std::function<bool(const Step&)>& report,
                                    std::vector<std::vector<double>>* probabilities,
                                    std::vector<ContentWords>* contentWords,
                                    std::vector<std::size_t>* withFeatures);
  Status TrainModel(Problem& problem, double cost, double weightPower,
                    const std::string& modelPath, TrainingReport* report);
  // The model's file, with the calibration's sigmoids.
  Status SaveLinearModel(const LinearModel& linear, const std::string& modelPath,
                         TrainingReport* report) const;
  // The final one-vs-one model, from one pair of classes' rows at a time.
  Status TrainPairsOfClasses(const CorpusVectoriser& vectoriser, double averageDocLength,
                             const GridPoint& point, std::size_t* withoutFeatures,
                             LinearModel* model) const;
  std::vector<std::vector<std::size_t>> DocumentsByClass(
      const std::vector<std::size_t>* documents) const;
  void ReserveLinearRows(const std::vector<std::vector<std::size_t>>& byClass,
                         LinearRows* rows) const;
  // Class c's rows of the documents that have features; the others are
  // counted in *withoutFeatures.  The number of rows added.
  std::size_t AddLinearRows(const CorpusVectoriser& vectoriser, double averageDocLength,
                            const std::vector<std::size_t>& documents, std::size_t c,
                            LinearRows* rows, std::size_t* withoutFeatures) const;
  // The steps of Train: the grid's search, the confidence's calibration and
  // the final model with the set's files.
  Status SearchGrid(const FeatureStatistics& statistics, const std::vector<RankedUnit>& ranking,
                    const std::vector<Fold>& folds, GridPoint* best, TrainingReport* report);
  // With a held-out calibration, *best takes the held-out part's scores.
  Status CalibrateConfidence(const std::vector<Fold>& folds, GridPoint* best,
                             TrainingReport* report);
  // The one point a held-out calibration takes, or a fault when the options
  // give more than one.
  Status OnlyPoint(const FeatureStatistics& statistics, const std::vector<RankedUnit>& ranking,
                   GridPoint* point) const;
  Status TrainFinalModel(const std::string& prefix, const FeatureStatistics& statistics,
                         const std::vector<RankedUnit>& ranking, const GridPoint& best,
                         TrainingReport* report);
  // Reports progress; true when the caller asks to stop.
  bool Stopped(const char* stage, double done, double total) const;
  bool UsesLinearSolver() const;
  // Folds at once: the jobs asked for, 0 being one per processor.
  unsigned Jobs() const;
  std::vector<double> ClassWeights(double weightPower) const;
  svm_parameter Parameter(double cost, double weightPower, bool probability);

  const Corpus& corpus_;
  TrainerOptions options_;
  TrainingProgress* progress_;
  std::vector<int> weightLabels_;  // class weights handed to libsvm
  std::vector<double> weights_;
  std::vector<double> probA_, probB_;  // the linear model's pair sigmoids
  FeatureSet reads_;  // the candidate under cross-validation, then the one chosen
  // What a fold selects its features from: its training part's statistics,
  // and their ranking for the candidate last asked for.
  struct FoldSelection {
    std::mutex mutex;
    std::unique_ptr<FeatureStatistics> statistics;
    std::vector<RankedUnit> ranking;
    FeatureSet rankedFor;
    bool ranked = false;
  };
  mutable std::mutex foldSelectionsMutex_;
  mutable std::map<const Fold*, std::unique_ptr<FoldSelection>> foldSelections_;
  std::shared_ptr<SearchParts> parts_;  // null: the whole search runs here
  // The documents the search scores, when fewer than the corpus's.
  std::vector<std::size_t> searchedDocuments_;
};

}  // namespace wenlei

#endif  // WENLEI_TRAIN_TRAINER_H_
