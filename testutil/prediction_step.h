#ifndef WENLEI_TESTUTIL_PREDICTION_STEP_H_
#define WENLEI_TESTUTIL_PREDICTION_STEP_H_

#include <cstdint>
#include <string>

#include "interface/process_edge.h"
#include "predict/prediction_step.h"

namespace wenlei {

// The tests' own prediction step, one per test process.
inline PredictionStep& TestPredictionStep() {
  static PredictionStep step;
  return step;
}

// The step run on it as the exported functions run theirs.
inline std::int32_t runBatchPrediction(std::int32_t probabilityRequested, const std::string& test,
                                       const std::string& model, const std::string& result) {
  PredictionStep::Report report;
  const Status status =
      TestPredictionStep().Run(probabilityRequested != 0, test, model, result, &report);
  ReportOrEndProcess(status, report);
  return 0;
}

}  // namespace wenlei

#endif  // WENLEI_TESTUTIL_PREDICTION_STEP_H_
