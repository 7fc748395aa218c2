#ifndef WENLEI_DECIDE_PREDICTION_RESULT_H_
#define WENLEI_DECIDE_PREDICTION_RESULT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "source/source_data.h"
#include "util/status.h"

namespace wenlei {

// The best class of a result line and, when it came close enough, the
// runner-up; 0 stands for no second class.  Classes are 1-based positions of
// the probabilities on the line.
struct ClassPair {
  std::int32_t firstClass;
  std::int32_t secondClass;
  bool operator==(const ClassPair& other) const {
    return firstClass == other.firstClass && secondClass == other.secondClass;
  }
};

// Highest class number labelText accepts.
inline constexpr std::int32_t kClassLimit = 36;

// The decisions read from one result file and the names they lead to.
class PredictionResult {
 public:
  PredictionResult() = default;
  virtual ~PredictionResult() = default;

  // Appends one ClassPair per data line of the result file (the first line
  // is the header).  The runner-up is kept when its probability divided by
  // the best one is strictly greater than ambiguityThreshold.  A file that
  // cannot be opened fails in the context kResultFileRead.
  Status readResultFile(const std::string& path, double ambiguityThreshold);

  // Ranks one data line's probabilities; appends nothing for a line with no
  // probability field.
  void readDataLine(const std::string& line, double ambiguityThreshold);

  // Names of the last decision, joined by " or " unless the second is
  // exactly "NULL"; a name's tag up to its first space is dropped.  Numbers
  // missing from classTable are entered with the empty name.  A class number
  // above 36 fails in the context kClassLimit.
  Status labelText(ClassTable& classTable, std::string* answer);

  // The same answer without entering missing numbers into classTable.
  Status LabelText(const ClassTable& classTable, std::string* answer) const;

  std::vector<ClassPair> decisions;
  std::string firstName;
  std::string secondName;
};

}  // namespace wenlei

#endif  // WENLEI_DECIDE_PREDICTION_RESULT_H_
