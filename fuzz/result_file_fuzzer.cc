// The result file reader on arbitrary bytes.  The decisions it appends must
// be those of a ranking done here independently: the header line dropped,
// one decision per later line with a probability field, the best position
// first (the lowest among equals) and the runner-up only when its share of
// the best exceeds the threshold.  Every field is also read with strtod
// where the two readings must agree.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "util/decimal_field.h"
#include "decide/prediction_result.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr char kTarget[] = "result_file";
constexpr double kThreshold = 0.95;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

// Lines as a line-by-line reader returns them: a final line feed does not
// start another line.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines = Split(text, '\n');
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

std::vector<double> Probabilities(const std::string& line) {
  std::vector<double> values;
  if (line.find(' ') == std::string::npos) return values;
  std::vector<std::string> fields = Split(line, ' ');
  fields.erase(fields.begin());                         // the predicted label
  if (fields.back().empty()) fields.pop_back();         // after a final space
  for (const std::string& field : fields) values.push_back(wenlei::ParseDecimalPrefix(field));
  return values;
}

std::vector<wenlei::ClassPair> ExpectedDecisions(const std::string& text) {
  std::vector<wenlei::ClassPair> decisions;
  std::vector<std::string> lines = Lines(text);
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const std::vector<double> values = Probabilities(lines[l]);
    if (values.empty()) continue;
    std::vector<std::int32_t> ranking(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) ranking[i] = static_cast<std::int32_t>(i + 1);
    // Highest first; a NaN never ranks above anything, as in the table.
    std::stable_sort(ranking.begin(), ranking.end(), [&](std::int32_t a, std::int32_t b) {
      return values[a - 1] > values[b - 1];
    });
    if (values.size() == 1) {
      decisions.push_back({ranking[0], 0});
      continue;
    }
    const double top = values[ranking[0] - 1];
    const double runnerUp = values[ranking[1] - 1];
    const double ratio = top == 0.0 ? 0.0 : runnerUp / top;
    decisions.push_back({ranking[0], ratio > kThreshold ? ranking[1] : 0});
  }
  return decisions;
}

// strtod reads the same decimal prefix; it also reads hexadecimal, "inf"
// and "nan", which the field reader does not, so fields holding x, i or n
// are left out.
void CompareWithStrtod(const std::string& field) {
  if (field.find_first_of("xXiInN") != std::string::npos) return;
  if (field.find('\0') != std::string::npos) return;
  const double ours = wenlei::ParseDecimalPrefix(field);
  const double theirs = std::strtod(field.c_str(), nullptr);
  // Below the smallest normal double the two may round differently: strtod
  // gives a subnormal where the field reader may give zero.
  if (std::fabs(theirs) < 2.3e-308 && std::fabs(ours) < 2.3e-308) return;
  FUZZ_CHECK(kTarget, std::memcmp(&ours, &theirs, sizeof ours) == 0,
             "field \"" + field + "\" reads " + std::to_string(ours) + ", strtod " +
                 std::to_string(theirs));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wenlei::fuzz::ScratchPrefix();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string path = wenlei::fuzz::ScratchPrefix() + wenlei::kResultFileName;
  wenlei::fuzz::WriteWholeFile(path, text);

  wenlei::PredictionResult result;
  result.readResultFile(path, kThreshold);
  const std::vector<wenlei::ClassPair> expected = ExpectedDecisions(text);
  FUZZ_CHECK(kTarget, result.decisions.size() == expected.size(),
             "decisions: " + std::to_string(result.decisions.size()) + ", expected " +
                 std::to_string(expected.size()));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const wenlei::ClassPair got = result.decisions[i];
    FUZZ_CHECK(kTarget, got == expected[i],
               "decision " + std::to_string(i) + " is (" + std::to_string(got.firstClass) + ", " +
                   std::to_string(got.secondClass) + "), expected (" +
                   std::to_string(expected[i].firstClass) + ", " +
                   std::to_string(expected[i].secondClass) + ")");
  }
  for (const std::string& line : Lines(text)) {
    for (const std::string& field : Split(line, ' ')) CompareWithStrtod(field);
  }
  return 0;
}
