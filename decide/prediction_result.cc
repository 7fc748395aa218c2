#include "decide/prediction_result.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

#include "util/decimal_field.h"

namespace wenlei {
namespace {

// Everything after the first space, when the name has one: a name may carry
// a tag in front of the name proper.
std::string WithoutTag(const std::string& name) {
  std::size_t space = name.find(' ');
  return space == std::string::npos ? name : name.substr(space + 1);
}

Status ClassLimitExceeded() {
  return Status(Status::Code::kMismatch,
                "the result names a class above " + std::to_string(kClassLimit),
                Status::Context::kClassLimit);
}

std::string JoinNames(const std::string& firstName, const std::string& secondName) {
  std::string answer = WithoutTag(firstName);
  if (secondName == "NULL") return answer;
  return answer + " or " + WithoutTag(secondName);
}

}  // namespace

Status PredictionResult::readResultFile(const std::string& path, double ambiguityThreshold) {
  std::ifstream file(path);
  if (!file) {
    return Status(Status::Code::kIoError, "cannot open " + path, Status::Context::kResultFileRead,
                  path);
  }
  std::string line;
  std::getline(file, line);  // the header; its labels play no part
  while (std::getline(file, line)) readDataLine(line, ambiguityThreshold);
  return Status::Ok();
}

void PredictionResult::readDataLine(const std::string& line, double ambiguityThreshold) {
  // The ranking: highest probability first, equal probabilities in position
  // order.  Only the top two entries matter, so they are tracked directly.
  bool haveTop = false, haveRunnerUp = false;
  std::pair<double, std::int32_t> top{0.0, 0}, runnerUp{0.0, 0};
  auto rank = [&](double probability, std::int32_t position) {
    if (!haveTop || probability > top.first) {
      if (haveTop) {
        runnerUp = top;
        haveRunnerUp = true;
      }
      top = {probability, position};
      haveTop = true;
    } else if (!haveRunnerUp || probability > runnerUp.first) {
      runnerUp = {probability, position};
      haveRunnerUp = true;
    }
  };

  std::size_t space = line.find(' ');
  if (space == std::string::npos) return;  // the label alone: no probability
  std::int32_t position = 0;
  std::size_t start = space + 1;
  while (start < line.size()) {
    std::size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    rank(ParseDecimalPrefix(std::string_view(line).substr(start, end - start)), ++position);
    start = end + 1;
  }
  // A line that ends in two spaces has one empty field inside it; the empty
  // field after the final space is not a probability.
  if (!haveTop) return;
  if (!haveRunnerUp) {
    decisions.push_back({top.second, 0});
    return;
  }
  const double ratio = top.first == 0.0 ? 0.0 : runnerUp.first / top.first;
  if (ratio > ambiguityThreshold) {
    decisions.push_back({top.second, runnerUp.second});
  } else {
    decisions.push_back({top.second, 0});
  }
}

Status PredictionResult::labelText(ClassTable& classTable, std::string* answer) {
  for (const ClassPair& pair : decisions) {
    if (pair.firstClass > kClassLimit || pair.secondClass > kClassLimit) return ClassLimitExceeded();
    firstName = classTable.FindOrInsertDefault(pair.firstClass);
    secondName = classTable.FindOrInsertDefault(pair.secondClass);
  }
  *answer = JoinNames(firstName, secondName);
  return Status::Ok();
}

Status PredictionResult::LabelText(const ClassTable& classTable, std::string* answer) const {
  std::string first, second;
  for (const ClassPair& pair : decisions) {
    if (pair.firstClass > kClassLimit || pair.secondClass > kClassLimit) return ClassLimitExceeded();
    const std::string* name = classTable.Find(pair.firstClass);
    first = name == nullptr ? std::string() : *name;
    name = classTable.Find(pair.secondClass);
    second = name == nullptr ? std::string() : *name;
  }
  *answer = JoinNames(first, second);
  return Status::Ok();
}

}  // namespace wenlei
