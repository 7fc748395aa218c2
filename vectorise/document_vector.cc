#include "vectorise/document_vector.h"

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "util/number_text.h"
#include "util/working_file.h"

namespace wenlei {

void DocumentVector::BuildFeatures(const TermCounts& termCounts,
                                   const TermMapTable& termMapTable,
                                   const WordIndexTable& wordIndexTable,
                                   std::vector<std::pair<std::string_view, std::int32_t>>* sources) {
  featureVector_.clear();
  // The terms come in the tables' order, so their lookups go forward from
  // one another; canonical words come in any order.
  auto termFrom = termMapTable.begin();
  auto wordFrom = wordIndexTable.begin();
  for (const auto& [term, weight] : termCounts) {
    const std::string* canonical = termMapTable.FindFrom(term, &termFrom);
    if (canonical == nullptr) continue;
    if (!canonical->empty()) {
      const std::int32_t* feature = wordIndexTable.Find(*canonical);
      if (feature == nullptr) continue;
      auto [it, inserted] = featureVector_.emplace(*feature, weight);
      if (!inserted) it->second += weight;
      if (sources != nullptr) sources->emplace_back(term, *feature);
    } else {
      const std::int32_t* feature = wordIndexTable.FindFrom(term, &wordFrom);
      if (feature == nullptr) continue;
      // A word standing for itself does not add to a feature that a variant
      // sorting before it has already filled.
      const bool inserted = featureVector_.emplace(*feature, weight).second;
      if (inserted && sources != nullptr) sources->emplace_back(term, *feature);
    }
  }
}

std::string DocumentVector::TestLine() const { return wenlei::TestLine(featureVector_); }

std::string TestLine(const FeatureVector& features) {
  std::string line;
  if (features.empty()) return line;
  line = "0 ";
  char number[16];
  for (const auto& [feature, weight] : features) {
    auto result = std::to_chars(number, number + sizeof number, feature);
    line.append(number, result.ptr);
    line.push_back(':');
    AppendGeneral(weight, &line);
    line.push_back(' ');
  }
  return line;
}

Status DocumentVector::WriteTestFile(const std::string& path) const {
  return WriteTestLines(path, {TestLine()});
}

Status WriteTestLines(const std::string& path, const std::vector<std::string>& lines) {
  std::FILE* file = OpenForRewrite(path.c_str());
  int error = file == nullptr ? errno : 0;
  if (file != nullptr) {
    for (const std::string& line : lines) {
      if (line.empty()) continue;
      std::fwrite(line.data(), 1, line.size(), file);
      std::fputc('\n', file);
    }
    error = CloseRewrite(file);
  }
  if (error == 0) return Status::Ok();
  return Status(Status::Code::kIoError,
                "cannot write " + path + ": " + SystemReason(error));
}

}  // namespace wenlei
