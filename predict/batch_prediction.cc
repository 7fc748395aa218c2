#include "predict/batch_prediction.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "svm.h"
#include "vectorise/number_text.h"

namespace wenlei {
namespace {

constexpr int kEpsilonSvr = 3;
constexpr int kNuSvr = 4;
constexpr std::size_t kLongestToken = 4096;

[[noreturn]] void EndStep(const std::string& line) {
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  std::exit(1);
}

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Converts a whole token to a number; a leading '+' is accepted as printf
// style readers do.  Independent of the process locale.
template <typename Number>
bool ParseWhole(std::string_view text, Number* value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return false;
  auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Reads the test file's records: a number, then index:value pairs up to the
// end of the line.
class TestRecordReader {
 public:
  TestRecordReader(std::FILE* input, const char* fileName) : input_(input), fileName_(fileName) {}

  // Skips white space, blank lines included, and reads a record's leading
  // number.  False at the end of the file.
  bool StartRecord() {
    int c;
    do {
      c = Next();
    } while (c != EOF && IsSpace(c));
    if (c == EOF) return false;
    std::ungetc(c, input_);
    std::string token = ReadToken();
    double ignored;
    if (!ParseWhole(token, &ignored)) Reject("a number", token);
    return true;
  }

  // Reads the next pair of the record into *node; false at the record's end
  // (a line feed or the end of the file).
  bool NextPair(svm_node* node) {
    int c;
    do {
      c = Next();
      if (c == '\n' || c == EOF) return false;
    } while (IsSpace(c));
    std::ungetc(c, input_);
    std::string token = ReadToken();
    std::size_t colon = token.find(':');
    int index;
    double value;
    if (colon == std::string::npos ||
        !ParseWhole(std::string_view(token).substr(0, colon), &index) ||
        !ParseWhole(std::string_view(token).substr(colon + 1), &value)) {
      Reject("index:value", token);
    }
    node->index = index;
    node->value = value;
    return true;
  }

 private:
  int Next() {
    int c = std::getc(input_);
    if (c == '\n') ++line_;
    return c;
  }

  std::string ReadToken() {
    std::string token;
    int c;
    while ((c = std::getc(input_)) != EOF && !IsSpace(c)) {
      if (token.size() == kLongestToken) Reject("a field", token.substr(0, 32) + "...");
      token.push_back(static_cast<char>(c));
    }
    if (c != EOF) std::ungetc(c, input_);
    return token;
  }

  [[noreturn]] void Reject(const char* expected, const std::string& found) {
    EndStep("wenlei: malformed record in " + std::string(fileName_) + " at line " +
            std::to_string(line_) + ": expected " + expected + ", found \"" + found + "\"\n");
  }

  std::FILE* input_;
  const char* fileName_;
  long line_ = 1;
};

void GrowNodes(BatchPredictionState& state) {
  if (state.nodeCapacity > std::numeric_limits<std::int32_t>::max() / 2) {
    EndStep("wenlei: a test-file record has too many pairs\n");
  }
  std::int32_t capacity = state.nodeCapacity * 2;
  void* grown = std::realloc(state.nodes, sizeof(svm_node) * static_cast<std::size_t>(capacity));
  if (grown == nullptr) EndStep("wenlei: out of memory for a test-file record\n");
  state.nodes = static_cast<svm_node*>(grown);
  state.nodeCapacity = capacity;
}

void WriteText(const std::string& text, std::FILE* output) {
  std::fwrite(text.data(), 1, text.size(), output);
}

}  // namespace

BatchPredictionState& batchPredictionState() {
  static BatchPredictionState state;
  return state;
}

std::int32_t runBatchPrediction(std::int32_t probabilityRequested, const char* testFilePath,
                                const char* modelFilePath, const char* resultFilePath) {
  BatchPredictionState& state = batchPredictionState();
  state.probabilityOutput = probabilityRequested;

  std::FILE* input = std::fopen(testFilePath, "r");
  if (input == nullptr) EndStep("can't open input file " + std::string(testFilePath) + "\n");
  std::FILE* output = std::fopen(resultFilePath, "w");
  if (output == nullptr) EndStep("can't open output file " + std::string(resultFilePath) + "\n");
  state.model = svm_load_model(modelFilePath);
  if (state.model == nullptr) EndStep("can't open model file " + std::string(modelFilePath) + "\n");

  state.nodes = static_cast<svm_node*>(
      std::malloc(sizeof(svm_node) * static_cast<std::size_t>(state.nodeCapacity)));
  if (state.nodes == nullptr) EndStep("wenlei: out of memory for a test-file record\n");

  if (state.probabilityOutput != 0 && svm_check_probability_model(state.model) == 0) {
    std::fputs("model does not support probabiliy estimates\n", stderr);
    state.probabilityOutput = 0;
  }

  predictLines(input, output, testFilePath);

  svm_free_and_destroy_model(&state.model);
  std::free(state.nodes);
  state.nodes = nullptr;
  std::fclose(input);
  std::fclose(output);
  return 0;
}

void predictLines(std::FILE* input, std::FILE* output, const char* testFileName) {
  BatchPredictionState& state = batchPredictionState();
  const int svmType = svm_get_svm_type(state.model);
  const int classCount = svm_get_nr_class(state.model);
  std::vector<int> labels(static_cast<std::size_t>(classCount > 0 ? classCount : 0));
  std::vector<double> probabilities;
  const bool withHeader =
      state.probabilityOutput != 0 && svmType != kEpsilonSvr && svmType != kNuSvr;
  if (withHeader) {
    svm_get_labels(state.model, labels.data());
    probabilities.resize(labels.size());
    std::string header = "labels";
    for (int label : labels) header += " " + std::to_string(label);
    header += "\n";
    WriteText(header, output);
  }
  const bool probabilityLines =
      state.probabilityOutput != 0 && (svmType == C_SVC || svmType == NU_SVC);

  TestRecordReader reader(input, testFileName);
  std::string line;
  while (reader.StartRecord()) {
    std::int32_t i = 0;
    for (;;) {
      // Always keep a node free for the terminator.
      if (i >= state.nodeCapacity - 1) GrowNodes(state);
      if (!reader.NextPair(&state.nodes[i])) break;
      ++i;
    }
    state.nodes[i].index = -1;

    line.clear();
    if (probabilityLines) {
      double predicted = svm_predict_probability(state.model, state.nodes, probabilities.data());
      AppendGeneral(predicted, &line);
      line.push_back(' ');
      for (double p : probabilities) {
        AppendGeneral(p, &line);
        line.push_back(' ');
      }
    } else {
      AppendGeneral(svm_predict(state.model, state.nodes), &line);
    }
    line.push_back('\n');
    WriteText(line, output);
  }
}

}  // namespace wenlei
