#include "vectorise/document_vector.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>

#include "util/number_text.h"
#include "util/working_file.h"

namespace wenlei {

void JoinContributions(const std::vector<FeatureContribution>& contributions,
                       SparseFeatures* features, std::vector<bool>* joined) {
  features->clear();
  if (joined != nullptr) joined->assign(contributions.size(), false);
  // By feature, and within a feature in term order.
  std::vector<std::pair<std::int32_t, std::uint32_t>> order;
  order.reserve(contributions.size());
  for (std::uint32_t i = 0; i < contributions.size(); ++i) {
    order.emplace_back(contributions[i].feature, i);
  }
  std::sort(order.begin(), order.end());
  for (const auto& [feature, i] : order) {
    const FeatureContribution& contribution = contributions[i];
    if (features->empty() || features->back().first != feature) {
      features->emplace_back(feature, contribution.weight);
    } else if (contribution.adds) {
      features->back().second += contribution.weight;
    } else {
      // A word standing for itself does not add to a feature that a
      // variant sorting before it has already filled.
      continue;
    }
    if (joined != nullptr) (*joined)[i] = true;
  }
}

void DocumentVector::BuildFeatures(const TermCounts& termCounts,
                                   const TermMapTable& termMapTable,
                                   const WordIndexTable& wordIndexTable,
                                   std::vector<std::pair<std::string_view, std::int32_t>>* sources) {
  // The terms come in the tables' order, so their lookups go forward from
  // one another; canonical words come in any order.
  auto termFrom = termMapTable.begin();
  auto wordFrom = wordIndexTable.begin();
  std::vector<FeatureContribution> contributions;
  std::vector<std::string_view> contributors;
  for (const auto& [term, weight] : termCounts) {
    const std::string* canonical = termMapTable.FindFrom(term, &termFrom);
    if (canonical == nullptr) continue;
    const std::int32_t* feature = canonical->empty() ? wordIndexTable.FindFrom(term, &wordFrom)
                                                     : wordIndexTable.Find(*canonical);
    if (feature == nullptr) continue;
    contributions.push_back({*feature, weight, !canonical->empty()});
    contributors.push_back(term);
  }
  SparseFeatures features;
  std::vector<bool> joined;
  JoinContributions(contributions, &features, &joined);
  featureVector_.clear();
  for (const auto& [feature, weight] : features) featureVector_.emplace_hint(featureVector_.end(), feature, weight);
  if (sources == nullptr) return;
  for (std::size_t i = 0; i < contributions.size(); ++i) {
    if (joined[i]) sources->emplace_back(contributors[i], contributions[i].feature);
  }
}

std::string DocumentVector::TestLine() const { return wenlei::TestLine(featureVector_); }

namespace {

template <typename Features>
std::string LineOf(const Features& features) {
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

}  // namespace

std::string TestLine(const FeatureVector& features) { return LineOf(features); }
std::string TestLine(const SparseFeatures& features) { return LineOf(features); }

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
