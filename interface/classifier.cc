#include "interface/classifier.h"

#include "decide/prediction_result.h"
#include "interface/word_list.h"
#include "predict/batch_prediction.h"
#include "vectorise/document_vector.h"

namespace wenlei {

TermCounts Classifier::CountWords(const WordList& words, double* knownWordCount) const {
  TermCounts termCounts;
  *knownWordCount = 0.0;
  WordListView view(words);
  for (std::size_t i = 0; i < view.size(); ++i) {
    std::string_view word = view[i];
    if (!sourceData_.wordIndexTable.Contains(word)) continue;
    *knownWordCount += 1.0;
    auto it = termCounts.find(word);
    if (it != termCounts.end()) {
      it->second += 1.0;
    } else {
      termCounts.emplace(std::string(word), 1.0);
    }
  }
  return termCounts;
}

std::string Classifier::ClassificationDriver(const WordList& words) {
  double knownWordCount = 0.0;
  TermCounts termCounts = CountWords(words, &knownWordCount);
  if (termCounts.empty()) return ShortTextMessage();

  WeightTerms(termCounts, knownWordCount, sourceData_.idfTable, sourceData_.averageDocLength);
  DocumentVector documentVector;
  documentVector.BuildFeatures(termCounts, sourceData_.termMapTable, sourceData_.wordIndexTable);
  documentVector.WriteTestFile(sourceData_.testFilePath);

  runBatchPrediction(1, sourceData_.testFilePath.c_str(), sourceData_.modelPath.c_str(),
                     sourceData_.resultFilePath.c_str());

  PredictionResult predictionResult;
  predictionResult.readResultFile(sourceData_.resultFilePath, kAmbiguityThreshold);
  // No decision at all (no feature survived the mapping, or the model gives
  // no probabilities) means no category could be determined.
  if (predictionResult.decisions.empty()) return ShortTextMessage();
  return predictionResult.labelText(sourceData_.classTable);
}

}  // namespace wenlei
