#ifndef WENLEI_INTERFACE_PROCESS_EDGE_H_
#define WENLEI_INTERFACE_PROCESS_EDGE_H_

#include <cstdint>
#include <string>

#include "predict/batch_prediction.h"
#include "util/status.h"

namespace wenlei {

// Where a failure becomes what a host of the exported functions sees: the
// warnings and then the failure's lines on standard error, and the end of
// the process with status 1.  Returns when status is a success.
void ReportOrEndProcess(const Status& status, const std::string& warnings);

// The prediction step as the exported functions run it: its warning and
// failure lines on standard error, a failure ending the process.  Returns 0.
std::int32_t runBatchPrediction(PredictionStep& step, std::int32_t probabilityRequested,
                                const std::string& testFilePath, const std::string& modelFilePath,
                                const std::string& resultFilePath);

}  // namespace wenlei

#endif  // WENLEI_INTERFACE_PROCESS_EDGE_H_
