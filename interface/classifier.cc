#include "interface/classifier.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "decide/prediction_result.h"
#include "interface/word_list.h"
#include "predict/batch_prediction.h"
#include "vectorise/document_vector.h"
#include "vectorise/word_counting.h"

namespace wenlei {

TermCounts Classifier::CountWords(const WordList& words, double* knownWordCount) const {
  WordListView view(words);
  return CountKnownWords(
      view.size(), [&view](std::size_t i) { return view[i]; }, sourceData_.wordIndexTable,
      knownWordCount);
}

bool Classifier::BuildDocumentVector(const WordList& words, DocumentVector* documentVector) const {
  double knownWordCount = 0.0;
  TermCounts termCounts = CountWords(words, &knownWordCount);
  if (termCounts.empty()) return false;
  WeightTerms(termCounts, knownWordCount, sourceData_.idfTable, sourceData_.averageDocLength);
  documentVector->BuildFeatures(termCounts, sourceData_.termMapTable, sourceData_.wordIndexTable);
  return true;
}

Status Classifier::LockWorkingFiles() {
  return predictionStep_->workingFileLock().Lock(WorkingFileLockPath(sourceData_.testFilePath));
}

Status Classifier::PredictAndDecide(PredictionResult* predictionResult,
                                    PredictionStep::Report* report) {
  Status predicted = predictionStep_->Run(true, sourceData_.testFilePath, sourceData_.modelPath,
                                          sourceData_.resultFilePath, report);
  if (!predicted.ok()) return predicted;
  return predictionResult->readResultFile(sourceData_.resultFilePath, kAmbiguityThreshold);
}

Status Classifier::WriteAndPredict(const std::vector<std::string>& lines,
                                   PredictionResult* predictionResult,
                                   PredictionStep::Report* report) {
  Status status = LockWorkingFiles();
  if (!status.ok()) return status;
  FileLock::Held held(predictionStep_->workingFileLock());
  status = WriteTestLines(sourceData_.testFilePath, lines);
  if (status.ok()) status = PredictAndDecide(predictionResult, report);
  return status;
}

Status Classifier::ClassificationDriver(const WordList& words, std::string* answer,
                                        PredictionStep::Report* report) {
  DocumentVector documentVector;
  if (!BuildDocumentVector(words, &documentVector)) {
    *answer = ShortTextMessage();
    return Status::Ok();
  }
  PredictionResult predictionResult;
  Status status = WriteAndPredict({documentVector.TestLine()}, &predictionResult, report);
  if (!status.ok()) return status;
  // No decision at all (no feature survived the mapping, or the model gives
  // no probabilities) means no category could be determined.
  if (predictionResult.decisions.empty()) {
    *answer = ShortTextMessage();
    return Status::Ok();
  }
  return predictionResult.labelText(sourceData_.classTable, answer);
}

Status Classifier::BatchClassificationDriver(const WordList* lists, std::size_t count,
                                             std::vector<std::string>* answers,
                                             PredictionStep::Report* report) {
  answers->assign(count, ShortTextMessage());
  // Documents that reach the prediction step, and their records' lines.
  std::vector<std::size_t> predicted;
  std::vector<std::string> lines;
  bool anyKnownWord = false;
  for (std::size_t i = 0; i < count; ++i) {
    DocumentVector documentVector;
    if (!BuildDocumentVector(lists[i], &documentVector)) continue;
    anyKnownWord = true;
    // A document whose words all drop out in the mapping has no record, as
    // it would leave the test file empty on its own.
    if (documentVector.features().empty()) continue;
    predicted.push_back(i);
    lines.push_back(documentVector.TestLine());
  }
  if (!anyKnownWord) return Status::Ok();

  PredictionResult all;
  Status status = WriteAndPredict(lines, &all, report);
  if (!status.ok()) return status;
  for (std::size_t r = 0; r < predicted.size() && r < all.decisions.size(); ++r) {
    PredictionResult one;
    one.decisions.push_back(all.decisions[r]);
    status = one.labelText(sourceData_.classTable, &(*answers)[predicted[r]]);
    if (!status.ok()) return status;
  }
  return Status::Ok();
}

}  // namespace wenlei
