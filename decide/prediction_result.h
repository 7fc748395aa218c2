#ifndef WENLEI_DECIDE_PREDICTION_RESULT_H_
#define WENLEI_DECIDE_PREDICTION_RESULT_H_

#include <string>
#include <vector>

#include "decide/class_decision.h"
#include "source/source_data.h"
#include "util/status.h"

namespace wenlei {

// The decisions read from one result file and the answer they lead to.
class PredictionResult {
 public:
  PredictionResult() = default;
  virtual ~PredictionResult() = default;

  // Appends one decision per data line of the result file (the first line
  // is the header).  A file that cannot be opened fails in the context
  // kResultFileRead.
  Status readResultFile(const std::string& path, double ambiguityThreshold = kAmbiguityThreshold);

  // Decides from one data line's probabilities (the fields after the
  // predicted label); appends nothing for a line with no probability field.
  void readDataLine(const std::string& line, double ambiguityThreshold = kAmbiguityThreshold);

  // The answer for the last decision (LabelText), of which there must be
  // one.  The decisions are looked up in order, each entering the numbers
  // classTable lacks (EnterMissingClasses), up to the first whose classes
  // are not within kClassLimit, which fails.
  Status AnswerText(ClassTable* classTable, std::string* answer) const;

  std::vector<ClassPair> decisions;
};

}  // namespace wenlei

#endif  // WENLEI_DECIDE_PREDICTION_RESULT_H_
