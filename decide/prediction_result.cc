#include "decide/prediction_result.h"

#include <fstream>
#include <string_view>

#include "util/decimal_field.h"

namespace wenlei {

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
  std::size_t space = line.find(' ');
  if (space == std::string::npos) return;  // the label alone: no probability
  // A line that ends in two spaces has one empty field inside it; the empty
  // field after the final space is not a probability.
  std::vector<double> probabilities;
  std::size_t start = space + 1;
  while (start < line.size()) {
    std::size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    probabilities.push_back(ParseDecimalPrefix(std::string_view(line).substr(start, end - start)));
    start = end + 1;
  }
  if (auto decided = DecideClasses(probabilities, ambiguityThreshold)) decisions.push_back(*decided);
}

Status PredictionResult::AnswerText(ClassTable* classTable, std::string* answer) const {
  for (const ClassPair& pair : decisions) {
    if (pair.firstClass > kClassLimit || pair.secondClass > kClassLimit) {
      return LabelText(*classTable, pair, answer);
    }
    EnterMissingClasses(pair, classTable);
  }
  return LabelText(*classTable, decisions.empty() ? ClassPair{0, 0} : decisions.back(), answer);
}

}  // namespace wenlei
