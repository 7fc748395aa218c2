#ifndef WENLEI_INTERFACE_PROCESS_EDGE_H_
#define WENLEI_INTERFACE_PROCESS_EDGE_H_

#include <string>

#include "predict/prediction_step.h"
#include "util/status.h"

namespace wenlei {

// Where a failure becomes what a host of the exported functions sees.  The
// exported functions' own lines, byte for byte, live here and only here.

// The lines on standard error for a failure of a classification: the fixed
// line of the step that failed, or "wenlei: MESSAGE\n" for a failure that
// has none.
std::string ExportFailureLines(const Status& status);

// The line on standard error when the prediction step went on without the
// probabilities the model lacks; empty when it did not.
std::string ExportWarningLines(const PredictionStep::Report& report);

// Writes the warning lines, then a failure's lines, and ends the process
// with status 1 on a failure.  Returns when status is a success.
void ReportOrEndProcess(const Status& status, const PredictionStep::Report& report);

// What LoadSource makes of its resource set's loading: 1 when loaded; for a
// file that cannot be opened, "open file fail.\n" on standard output and
// the end of the process; for any other failure its line on standard error
// and 0.
unsigned char ReportLoadOrEndProcess(const Status& status);

}  // namespace wenlei

#endif  // WENLEI_INTERFACE_PROCESS_EDGE_H_
