#ifndef WENLEI_PREDICT_BATCH_PREDICTION_H_
#define WENLEI_PREDICT_BATCH_PREDICTION_H_

#include <cstdint>
#include <cstdio>

struct svm_model;
struct svm_node;

namespace wenlei {

// State of the prediction step, one per process.  nodeCapacity only grows,
// so a long record pays for its reallocations once per process.
struct BatchPredictionState {
  std::int32_t probabilityOutput = 0;
  svm_model* model = nullptr;
  svm_node* nodes = nullptr;
  std::int32_t nodeCapacity = 64;
};

BatchPredictionState& batchPredictionState();

// Predicts every record of the test file with the model and writes the
// result file: with probabilities, a "labels ..." header and one line
// "label p1 p2 ... \n" per record, else one "%g\n" value per record.  A test
// file, result file or model that cannot be opened, and a record that is not
// "number index:value ...", end the process with status 1.  Returns 0.
std::int32_t runBatchPrediction(std::int32_t probabilityRequested, const char* testFilePath,
                                const char* modelFilePath, const char* resultFilePath);

// The record loop of runBatchPrediction over the two open files.
// testFileName only names the file in a format error.
void predictLines(std::FILE* input, std::FILE* output, const char* testFileName);

}  // namespace wenlei

#endif  // WENLEI_PREDICT_BATCH_PREDICTION_H_
