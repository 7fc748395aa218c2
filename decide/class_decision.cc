#include "decide/class_decision.h"

namespace wenlei {

const std::string& ShortTextMessage() {
  static const std::string message(
      "\xCE\xC4\xB1\xBE\xC4\xDA\xC8\xDD\xCC\xAB\xB6\xCC\xBB\xF2\xCE\xDE"
      "\xD0\xA7\xA3\xAC\xB2\xBB\xC4\xDC\xC8\xB7\xB6\xA8\xC0\xE0\xB1\xF0",
      32);
  return message;
}

std::optional<ClassPair> DecideClasses(const std::vector<double>& probabilities,
                                       double ambiguityThreshold) {
  // Only the top two of the ranking matter, so they are tracked directly.
  bool haveTop = false, haveRunnerUp = false;
  double top = 0.0, runnerUp = 0.0;
  std::int32_t topClass = 0, runnerUpClass = 0;
  std::int32_t position = 0;
  for (double probability : probabilities) {
    ++position;
    if (!haveTop || probability > top) {
      if (haveTop) {
        runnerUp = top;
        runnerUpClass = topClass;
        haveRunnerUp = true;
      }
      top = probability;
      topClass = position;
      haveTop = true;
    } else if (!haveRunnerUp || probability > runnerUp) {
      runnerUp = probability;
      runnerUpClass = position;
      haveRunnerUp = true;
    }
  }
  if (!haveTop) return std::nullopt;
  if (!haveRunnerUp) return ClassPair{topClass, 0};
  const double ratio = top == 0.0 ? 0.0 : runnerUp / top;
  return ClassPair{topClass, ratio > ambiguityThreshold ? runnerUpClass : 0};
}

Status LabelText(const ClassTable& classTable, ClassPair classes, std::string* answer) {
  if (classes.firstClass > kClassLimit || classes.secondClass > kClassLimit) {
    return Status(Status::Code::kMismatch,
                  "the result names a class above " + std::to_string(kClassLimit),
                  Status::Context::kClassLimit);
  }
  const std::string* first = classTable.Find(classes.firstClass);
  const std::string* second = classTable.Find(classes.secondClass);
  *answer = WithoutTag(first == nullptr ? std::string() : *first);
  if (second != nullptr && *second == "NULL") return Status::Ok();
  *answer += " or " + WithoutTag(second == nullptr ? std::string() : *second);
  return Status::Ok();
}

void EnterMissingClasses(ClassPair classes, ClassTable* classTable) {
  classTable->Insert(classes.firstClass, std::string());
  classTable->Insert(classes.secondClass, std::string());
}

std::vector<double> ClassMargins(const std::vector<double>& pairDecisions, std::size_t classes) {
  std::vector<double> margins(classes, 0.0);
  std::size_t pair = 0;
  for (std::size_t i = 0; i < classes; ++i) {
    for (std::size_t j = i + 1; j < classes && pair < pairDecisions.size(); ++j, ++pair) {
      margins[i] += pairDecisions[pair];
      margins[j] -= pairDecisions[pair];
    }
  }
  for (double& margin : margins) margin /= static_cast<double>(classes);
  return margins;
}

}  // namespace wenlei
