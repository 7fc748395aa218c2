#ifndef WENLEI_PREDICT_PREDICTION_STEP_H_
#define WENLEI_PREDICT_PREDICTION_STEP_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "predict/loaded_model.h"
#include "util/file_lock.h"
#include "util/status.h"

struct svm_node;

namespace wenlei {

// The prediction step: turns the test file into the result file with the
// model, and keeps what is worth keeping between steps: the model parsed
// last with the bytes it was parsed from, and the record buffer, whose
// capacity only grows (from 64 nodes, doubling), so a long record pays for
// its reallocations once.
//
// The model file is read at every step, so a replaced, deleted, unreadable
// or damaged model behaves at once as such; only when the bytes read equal
// those of the model parsed last is that model used again instead of being
// checked and parsed anew.
class PredictionStep {
 public:
  struct Report {
    // Probabilities were asked for and the model has none: the step went on
    // without them.
    bool probabilityDropped = false;
  };

  PredictionStep();
  ~PredictionStep();
  PredictionStep(const PredictionStep&) = delete;
  PredictionStep& operator=(const PredictionStep&) = delete;

  // Predicts every record of the test file and writes the result file: with
  // probabilities, a "labels ..." header and one line "label p1 p2 ... \n"
  // per record, else one "%g\n" value per record.  Failures, in this order:
  // a test file that cannot be opened (context kTestFileOpen, the result
  // file untouched), a result file that cannot be opened (kResultFileOpen),
  // the model's (kModelLoad for an unreadable file, else see
  // LoadedModel::Load), and a malformed record ("malformed record in PATH
  // at line N: ..."); the result file then holds what was written before
  // the failure.
  Status Run(bool probabilityRequested, const std::string& testFilePath,
             const std::string& modelFilePath, const std::string& resultFilePath,
             Report* report);

  // The record loop over two open files with model: a malformed record
  // stops it with "at line N: expected ..., found ..." as the message, after
  // the lines of the records before it have been written.
  Status PredictLines(std::FILE* input, std::FILE* output, const LoadedModel& model,
                      bool probabilityOutput);

  // Frees the parsed model; the next step parses the file again.
  void ReleaseModel();

  // The lock on the working files that processes sharing them take turns
  // on, kept with the step so that its file stays open between steps.
  FileLock& workingFileLock() { return workingFileLock_; }

  std::int32_t nodeCapacity() const { return nodeCapacity_; }
  // For tests that start from the first step's capacity.
  void ResetNodeCapacity();

 private:
  Status GrowNodes();

  std::string modelText_;  // the bytes model_ was parsed from
  std::unique_ptr<LoadedModel> model_;
  std::vector<svm_node> nodes_;
  std::int32_t nodeCapacity_ = 64;
  FileLock workingFileLock_;
};

}  // namespace wenlei

#endif  // WENLEI_PREDICT_PREDICTION_STEP_H_
