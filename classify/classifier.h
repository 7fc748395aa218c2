#ifndef WENLEI_CLASSIFY_CLASSIFIER_H_
#define WENLEI_CLASSIFY_CLASSIFIER_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "predict/prediction_step.h"
#include "source/source_data.h"
#include "util/status.h"
#include "wenlei/exports.h"
#include "vectorise/document_features.h"
#include "vectorise/document_vector.h"
#include "vectorise/term_weighting.h"
#include "vectorise/vocabulary_index.h"
#include "decide/class_decision.h"
#include "decide/prediction_result.h"

namespace wenlei {

// The object behind a handle: a reference to a resource set and to the
// prediction step that works on its files, and the pipeline that turns a
// word list into an answer with them.  Counting and vectorising need the
// resource set alone.
class Classifier {
 public:
  explicit Classifier(SourceData& sourceData, PredictionStep* predictionStep = nullptr)
      : sourceData_(sourceData), predictionStep_(predictionStep) {}

  // Counts the known words of a list: each occurrence of a word that the
  // vocabulary knows adds 1.0 to its count and to *knownWordCount.
  TermCounts CountWords(const WordList& words, double* knownWordCount) const;

  // Counting, weighting and feature mapping of one document (VectoriseWords).
  DocumentFeatures Vectorise(const WordList& words) const;

  // Runs the whole pipeline for one document and sets *answer.  *report
  // tells what the prediction step survived (a model without
  // probabilities), on success and on failure alike.
  Status ClassificationDriver(const WordList& words, std::string* answer,
                              PredictionStep::Report* report);

  // Runs the pipeline for many documents with one prediction step, so the
  // model is read once; each answer equals what ClassificationDriver gives
  // for that document alone.  The test file holds one record per document
  // that has known words, in list order, and the result file one line each.
  Status BatchClassificationDriver(const WordList* lists, std::size_t count,
                                   std::vector<std::string>* answers,
                                   PredictionStep::Report* report);

  SourceData& sourceData() { return sourceData_; }

 private:
  // The resource set's tables indexed, made again when they have changed
  // since (a set loaded or released).
  const VocabularyIndex& Index() const;
  // The features of one document, rounded as the test file holds them, in
  // *document.
  void VectoriseInto(const WordList& words, IndexedDocument* document) const;

  // The prediction step over the resource set's files and the decisions
  // read back from the result file.
  Status PredictAndDecide(PredictionResult* predictionResult, PredictionStep::Report* report);

  // Waits for the lock on the working files, held from writing the test
  // file until the result file is read, so that processes classifying with
  // one prefix take turns.  A lock file that cannot be made is a failure
  // of the step, like a working file that cannot be written.
  Status LockWorkingFiles();

  // Under that lock: the test file with one record per non-empty line, the
  // prediction step, and the decisions read back.
  Status WriteAndPredict(const std::vector<std::string>& lines, PredictionResult* predictionResult,
                         PredictionStep::Report* report);

  SourceData& sourceData_;
  PredictionStep* predictionStep_;
  mutable std::unique_ptr<VocabularyIndex> index_;
};

}  // namespace wenlei

#endif  // WENLEI_CLASSIFY_CLASSIFIER_H_
