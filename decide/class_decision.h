#ifndef WENLEI_DECIDE_CLASS_DECISION_H_
#define WENLEI_DECIDE_CLASS_DECISION_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "source/class_names.h"  // WithoutTag, the tag rule of the answers
#include "source/source_data.h"
#include "util/status.h"

namespace wenlei {

// The answer for a document without known words, "文本内容太短或无效，不能确定类别"
// in GBK: 32 bytes, built by count since it is not a C string by design.
const std::string& ShortTextMessage();

// Ratio of runner-up to best probability above which both classes are named.
inline constexpr double kAmbiguityThreshold = 0.95;

// Highest class number an answer may name.
inline constexpr std::int32_t kClassLimit = 36;

// The best class of a prediction and, when it came close enough, the
// runner-up; 0 stands for no second class.  Classes are 1-based positions of
// the probabilities.
struct ClassPair {
  std::int32_t firstClass;
  std::int32_t secondClass;
  bool operator==(const ClassPair& other) const {
    return firstClass == other.firstClass && secondClass == other.secondClass;
  }
};

// The decision for one document from its probabilities, one per class in
// class order, as the result file holds them (six significant digits): the
// highest first, equal ones in class order, and the runner-up when its
// probability divided by the best is strictly greater than
// ambiguityThreshold.  No decision without a probability.
std::optional<ClassPair> DecideClasses(const std::vector<double>& probabilities,
                                       double ambiguityThreshold = kAmbiguityThreshold);

// The answer text for a decision: the classes' names, joined by " or "
// unless the second is exactly "NULL", a name's tag up to its first space
// dropped; a number classTable lacks has the empty name.  A class above
// kClassLimit fails with kMismatch in the context kClassLimit.
Status LabelText(const ClassTable& classTable, ClassPair classes, std::string* answer);

// Enters the decision's class numbers that classTable lacks, with the empty
// name.  The exports' process-wide class table keeps them so: a later
// merging load then leaves those numbers empty instead of naming them.
void EnterMissingClasses(ClassPair classes, ClassTable* classTable);

// Each class's margin from the pairs' decision values (libsvm's pair order,
// (0,1), (0,2), ..., (1,2), ..., each positive for the pair's first class):
// the sum of the class's values against every other class, divided by the
// number of classes.  A model of one weight vector per class, whose pair
// (i, j) decides by score_i - score_j, gets each class's score less the
// mean of the scores; a model of one vector per pair, the class's mean
// lead over the others.  The most probable class of a prediction is most
// often, but not always, the class of the largest margin: the
// probabilities go through each pair's sigmoid and their coupling.
std::vector<double> ClassMargins(const std::vector<double>& pairDecisions, std::size_t classes);

}  // namespace wenlei

#endif  // WENLEI_DECIDE_CLASS_DECISION_H_
