#include "interface/process_edge.h"

#include <cstdio>
#include <cstdlib>

namespace wenlei {

void ReportOrEndProcess(const Status& status, const std::string& warnings) {
  if (!warnings.empty()) {
    std::fputs(warnings.c_str(), stderr);
    std::fflush(stderr);
  }
  if (status.ok()) return;
  std::fputs(status.message().c_str(), stderr);
  std::fflush(stderr);
  std::exit(1);
}

std::int32_t runBatchPrediction(PredictionStep& step, std::int32_t probabilityRequested,
                                const std::string& testFilePath, const std::string& modelFilePath,
                                const std::string& resultFilePath) {
  PredictionStep::Report report;
  const Status status =
      step.Run(probabilityRequested != 0, testFilePath, modelFilePath, resultFilePath, &report);
  ReportOrEndProcess(status, report.probabilityDropped ? kNoProbabilityWarning : "");
  return 0;
}

}  // namespace wenlei
