#ifndef WENLEI_PREDICT_BATCH_PREDICTION_H_
#define WENLEI_PREDICT_BATCH_PREDICTION_H_

#include <cstdint>
#include <cstdio>
#include <string>

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

// The record loop of runBatchPrediction over the two open files, with the
// model and the node buffer of batchPredictionState() in place.  A malformed
// record ends the process with status 1; testFileName only names the file
// in that message.
void predictLines(std::FILE* input, std::FILE* output, const char* testFileName);

// The same loop, but a malformed record stops it and returns false with the
// fault ("at line N: expected ..., found ...") in *fault; the lines of the
// records before it have been written.  The node buffer stays allocated
// with the grown nodeCapacity either way.
bool tryPredictLines(std::FILE* input, std::FILE* output, std::string* fault);

}  // namespace wenlei

#endif  // WENLEI_PREDICT_BATCH_PREDICTION_H_
