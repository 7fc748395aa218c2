#include "classify/classifier.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "decide/prediction_result.h"
#include "classify/word_list.h"
#include "predict/prediction_step.h"
#include "vectorise/document_vector.h"

namespace wenlei {

const VocabularyIndex& Classifier::Index() const {
  if (index_ == nullptr || !index_->Describes(sourceData_)) {
    index_ = std::make_unique<VocabularyIndex>(sourceData_);
  }
  return *index_;
}

void Classifier::VectoriseInto(const WordList& words, IndexedDocument* document) const {
  const VocabularyIndex& index = Index();
  std::vector<std::string_view> tokens = WordListView(words).Views();
  CharacterRuns runs;
  if (index.featuresRead().characters()) tokens = DocumentTokens(tokens, index.featuresRead(), &runs);
  VectoriseTokens(tokens, index, sourceData_.averageDocLength,
                  FeatureRounding::kSixSignificantDigits, document);
}

TermCounts Classifier::CountWords(const WordList& words, double* knownWordCount) const {
  const VocabularyIndex& index = Index();
  IndexedDocument document;
  VectoriseTokens(WordListView(words).Views(), index, sourceData_.averageDocLength,
                  FeatureRounding::kNone, &document);
  *knownWordCount = document.knownWordCount;
  TermCounts counts;
  for (const KnownTerm& term : document.terms) {
    counts.emplace_hint(counts.end(), std::string(index.Word(term.number)), term.occurrences);
  }
  return counts;
}

DocumentFeatures Classifier::Vectorise(const WordList& words) const {
  return VectoriseWords(WordListView(words).Views(), sourceData_);
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
  IndexedDocument document;
  VectoriseInto(words, &document);
  if (document.knownWordCount == 0.0) {
    *answer = ShortTextMessage();
    return Status::Ok();
  }
  PredictionResult predictionResult;
  Status status = WriteAndPredict({TestLine(document.features)}, &predictionResult, report);
  if (!status.ok()) return status;
  // No decision at all (no feature survived the mapping, or the model gives
  // no probabilities) means no category could be determined.
  if (predictionResult.decisions.empty()) {
    *answer = ShortTextMessage();
    return Status::Ok();
  }
  return predictionResult.AnswerText(&sourceData_.classTable, answer);
}

Status Classifier::BatchClassificationDriver(const WordList* lists, std::size_t count,
                                             std::vector<std::string>* answers,
                                             PredictionStep::Report* report) {
  answers->assign(count, ShortTextMessage());
  // Documents that reach the prediction step, and their records' lines.
  std::vector<std::size_t> predicted;
  std::vector<std::string> lines;
  bool anyKnownWord = false;
  IndexedDocument document;
  for (std::size_t i = 0; i < count; ++i) {
    VectoriseInto(lists[i], &document);
    if (document.knownWordCount == 0.0) continue;
    anyKnownWord = true;
    // A document whose words all drop out in the mapping has no record, as
    // it would leave the test file empty on its own.
    if (document.features.empty()) continue;
    predicted.push_back(i);
    lines.push_back(TestLine(document.features));
  }
  if (!anyKnownWord) return Status::Ok();

  PredictionResult all;
  Status status = WriteAndPredict(lines, &all, report);
  if (!status.ok()) return status;
  for (std::size_t r = 0; r < predicted.size() && r < all.decisions.size(); ++r) {
    status = LabelText(sourceData_.classTable, all.decisions[r], &(*answers)[predicted[r]]);
    if (!status.ok()) return status;
    EnterMissingClasses(all.decisions[r], &sourceData_.classTable);
  }
  return Status::Ok();
}

}  // namespace wenlei
