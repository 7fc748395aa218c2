#ifndef WENLEI_TESTUTIL_PREDICTION_STEP_H_
#define WENLEI_TESTUTIL_PREDICTION_STEP_H_

#include <cstdint>
#include <string>

#include "interface/process_edge.h"
#include "predict/batch_prediction.h"

namespace wenlei {

// The tests' own prediction step, one per test process.
inline PredictionStep& TestPredictionStep() {
  static PredictionStep step;
  return step;
}

// The step run on it as the exported functions run theirs.
inline std::int32_t runBatchPrediction(std::int32_t probabilityRequested, const std::string& test,
                                       const std::string& model, const std::string& result) {
  return runBatchPrediction(TestPredictionStep(), probabilityRequested, test, model, result);
}

}  // namespace wenlei

#endif  // WENLEI_TESTUTIL_PREDICTION_STEP_H_
