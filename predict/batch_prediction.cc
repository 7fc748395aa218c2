#include "predict/batch_prediction.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "predict/model_file_check.h"
#include "util/character_class.h"
#include "util/whole_number.h"
#include "svm.h"
#include "util/number_text.h"
#include "util/working_file.h"

namespace wenlei {
namespace {

constexpr int kEpsilonSvr = 3;
constexpr int kNuSvr = 4;
constexpr std::size_t kLongestToken = 4096;

// The result file while the step writes it.  It is written over its old
// contents (see OpenForRewrite), so a step that ends the process cuts it
// where writing stopped: it then holds what it would had "w" emptied it.
std::FILE* resultBeingWritten = nullptr;

[[noreturn]] void EndStep(const std::string& line) {
  if (resultBeingWritten != nullptr) CutRewriteHere(resultBeingWritten);
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  std::exit(1);
}

// Reads the test file's records: a number, then index:value pairs up to the
// end of the line.  A record that does not follow this form stops the
// reading with a description of the fault; the caller decides what then.
class TestRecordReader {
 public:
  enum class Step { kRead, kEnd, kMalformed };

  explicit TestRecordReader(std::FILE* input) : input_(input) {}

  // Skips white space, blank lines included, and reads a record's leading
  // number.  kEnd at the end of the file.
  Step StartRecord() {
    int c;
    do {
      c = Next();
    } while (c != EOF && IsCSpace(c));
    if (c == EOF) return Step::kEnd;
    std::ungetc(c, input_);
    std::string token;
    if (!ReadToken(&token)) return Step::kMalformed;
    double ignored;
    if (!ParseWhole(token, &ignored)) return Reject("a number", token);
    return Step::kRead;
  }

  // Reads the next pair of the record into *node; kEnd at the record's end
  // (a line feed or the end of the file).
  Step NextPair(svm_node* node) {
    int c;
    do {
      c = Next();
      if (c == '\n' || c == EOF) return Step::kEnd;
    } while (IsCSpace(c));
    std::ungetc(c, input_);
    std::string token;
    if (!ReadToken(&token)) return Step::kMalformed;
    std::size_t colon = token.find(':');
    int index;
    double value;
    if (colon == std::string::npos ||
        !ParseWhole(std::string_view(token).substr(0, colon), &index) ||
        !ParseWhole(std::string_view(token).substr(colon + 1), &value)) {
      return Reject("index:value", token);
    }
    node->index = index;
    node->value = value;
    return Step::kRead;
  }

  // Where and what the fault was, after kMalformed.
  const std::string& fault() const { return fault_; }

 private:
  int Next() {
    int c = std::getc(input_);
    if (c == '\n') ++line_;
    return c;
  }

  bool ReadToken(std::string* token) {
    int c;
    while ((c = std::getc(input_)) != EOF && !IsCSpace(c)) {
      if (token->size() == kLongestToken) {
        Reject("a field", token->substr(0, 32) + "...");
        return false;
      }
      token->push_back(static_cast<char>(c));
    }
    if (c != EOF) std::ungetc(c, input_);
    return true;
  }

  Step Reject(const char* expected, const std::string& found) {
    fault_ = "at line " + std::to_string(line_) + ": expected " + expected + ", found \"" +
             found + "\"";
    return Step::kMalformed;
  }

  std::FILE* input_;
  long line_ = 1;
  std::string fault_;
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
  std::FILE* output = OpenForRewrite(resultFilePath);
  if (output == nullptr) EndStep("can't open output file " + std::string(resultFilePath) + "\n");
  resultBeingWritten = output;
  // A damaged model would crash libsvm's loader rather than be refused by
  // it, so the text is checked first and refused the same way.
  std::string fault;
  if (CheckModelFile(modelFilePath, &fault) == ModelFileCheck::kDamaged) {
    EndStep("wenlei: damaged model file " + std::string(modelFilePath) + ": " + fault +
            "\ncan't open model file " + std::string(modelFilePath) + "\n");
  }
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
  resultBeingWritten = nullptr;
  CloseRewrite(output);
  return 0;
}

void predictLines(std::FILE* input, std::FILE* output, const char* testFileName) {
  std::string fault;
  if (!tryPredictLines(input, output, &fault)) {
    EndStep("wenlei: malformed record in " + std::string(testFileName) + " " + fault + "\n");
  }
}

bool tryPredictLines(std::FILE* input, std::FILE* output, std::string* fault) {
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

  using Step = TestRecordReader::Step;
  TestRecordReader reader(input);
  std::string line;
  for (;;) {
    Step step = reader.StartRecord();
    if (step == Step::kEnd) return true;
    std::int32_t i = 0;
    while (step == Step::kRead) {
      // Always keep a node free for the terminator.
      if (i >= state.nodeCapacity - 1) GrowNodes(state);
      step = reader.NextPair(&state.nodes[i]);
      if (step == Step::kRead) ++i;
    }
    if (step == Step::kMalformed) {
      *fault = reader.fault();
      return false;
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
