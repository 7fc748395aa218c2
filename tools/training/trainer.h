#ifndef WENLEI_TOOLS_TRAINING_TRAINER_H_
#define WENLEI_TOOLS_TRAINING_TRAINER_H_

#include <cstddef>
#include <string>
#include <vector>

#include "source/source_data.h"
#include "source/source_file.h"
#include "tools/training/corpus.h"
#include "tools/training/feature_selection.h"
#include "vectorise/document_vector.h"

namespace wenlei {

// Which words the vocabulary (WordIndexTable) holds.  The term map always
// holds the selected words only.  With kFull every word that passes the
// document-frequency minimum is counted and weighted, so the normalisation
// runs over more words than the vector keeps and vectors come out shorter
// than unit length.
enum class VocabularyScope { kSelected, kFull };

// The library names classes 1 to 36 at most.
inline constexpr std::size_t kMaxClasses = 36;

// Checks the corpus's class names against what the answers can show: at most
// 36 classes, none named "NULL" (the entry before the first class), and no
// two whose answer forms (the text after a leading "tag ") are equal.
bool CheckClassNames(const Corpus& corpus, std::string* error);

// libsvm kernel numbers: LINEAR, POLY, RBF, SIGMOID.
bool ParseKernel(const std::string& name, int* kernelType);
const char* KernelName(int kernelType);

struct TrainerOptions {
  std::size_t minDocumentFrequency = 2;
  // Candidate numbers of selected units; 0 stands for every unit.
  std::vector<std::size_t> featureCounts = {1000, 2000, 4000, 8000, 0};
  std::vector<double> costs = {0.5, 1, 2, 4, 8};
  int folds = 5;
  VocabularyScope vocabulary = VocabularyScope::kSelected;
  int kernelType = 0;  // LINEAR
  int degree = 3;
  double gamma = 1.0;
  double coef0 = 0.0;
  unsigned seed = 1;
  // Weighs each class's cost by N / (n * N_c), so small classes count as
  // much as large ones.
  bool balanceClasses = false;
  SynonymTable synonyms;
};

// The idf written for a word held by df of n training documents:
// ln((1 + n) / (1 + df)) + 1, finite and at least 1 for every word, also for
// a variant word that no training document holds.
double InverseDocumentFrequency(std::size_t documents, std::size_t documentFrequency);

// One point of the parameter grid and its cross-validation accuracy.
struct GridPoint {
  std::size_t features = 0;  // selected units
  double cost = 0.0;
  double accuracy = 0.0;  // share of all training documents predicted right
};

struct TrainingReport {
  std::size_t documents = 0;
  std::size_t classes = 0;
  std::size_t rankedUnits = 0;       // units that pass the minimum frequency
  std::size_t selectedUnits = 0;     // chosen k
  std::size_t vocabularyWords = 0;   // WordIndexTable
  std::size_t termMapWords = 0;      // TermMapTable
  std::size_t documentsWithoutFeatures = 0;  // left out of the training problem
  double averageDocLength = 0.0;
  double cost = 0.0;
  double crossValidationAccuracy = 0.0;
  int supportVectors = 0;
  std::vector<GridPoint> grid;
  // Candidate k left out of the grid: some class had no document with a
  // selected word.
  std::vector<std::size_t> skippedFeatureCounts;
};

// Reports the work as it goes; the command line shows it on a terminal.
class TrainingProgress {
 public:
  virtual ~TrainingProgress() = default;
  virtual void Status(const std::string& line) = 0;
};

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

// Writes contents to prefix + "Source.dat" with averageDocLength set to the
// mean number of known-word occurrences per corpus document, counted by the
// library's own counting over the written vocabulary, and loads the result
// into *sourceData.
bool WriteResourceFile(const Corpus& corpus, SourceFileContents* contents,
                       const std::string& prefix, SourceData* sourceData, std::string* error);

// A document's vector as a classification builds it: counting, weighting
// and feature mapping with the loaded resource set.
DocumentVector VectoriseDocument(SourceData& sourceData,
                                 const std::vector<std::string>& words);

// Builds the model for a corpus: the cross-validated choice of k and C, the
// resource file prefix + "Source.dat" and the model prefix + "SVMModel".
class Trainer {
 public:
  Trainer(const Corpus& corpus, TrainerOptions options, TrainingProgress* progress);

  bool Train(const std::string& prefix, TrainingReport* report, std::string* error);

 private:
  struct Problem;

  bool BuildProblem(SourceData& sourceData, Problem* problem, std::string* error) const;
  bool CrossValidate(Problem& problem, double cost, double* accuracy, std::string* error);
  bool TrainModel(Problem& problem, double cost, const std::string& modelPath,
                  TrainingReport* report, std::string* error);

  const Corpus& corpus_;
  TrainerOptions options_;
  TrainingProgress* progress_;
  std::vector<int> weightLabels_;  // class weights handed to libsvm
  std::vector<double> weights_;
};

}  // namespace wenlei

#endif  // WENLEI_TOOLS_TRAINING_TRAINER_H_
