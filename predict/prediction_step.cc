#include "predict/prediction_step.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "svm.h"
#include "util/character_class.h"
#include "util/file_bytes.h"
#include "util/number_text.h"
#include "util/whole_number.h"
#include "util/working_file.h"

namespace wenlei {
namespace {

constexpr std::size_t kLongestToken = 4096;

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

void WriteText(const std::string& text, std::FILE* output) {
  std::fwrite(text.data(), 1, text.size(), output);
}

}  // namespace

PredictionStep::PredictionStep() = default;
PredictionStep::~PredictionStep() = default;

void PredictionStep::ReleaseModel() {
  model_.reset();
  modelText_.clear();
  modelText_.shrink_to_fit();
}

void PredictionStep::ResetNodeCapacity() {
  nodeCapacity_ = 64;
  nodes_.clear();
  nodes_.shrink_to_fit();
}

Status PredictionStep::GrowNodes() {
  if (nodeCapacity_ > std::numeric_limits<std::int32_t>::max() / 2) {
    return Status(Status::Code::kTooLarge, "a test-file record has too many pairs");
  }
  try {
    nodes_.resize(static_cast<std::size_t>(nodeCapacity_) * 2);
  } catch (const std::bad_alloc&) {
    return Status(Status::Code::kNoMemory, "out of memory for a test-file record");
  }
  nodeCapacity_ *= 2;
  return Status::Ok();
}

Status PredictionStep::Run(bool probabilityRequested, const std::string& testFilePath,
                           const std::string& modelFilePath, const std::string& resultFilePath,
                           Report* report) {
  *report = Report();
  std::FILE* input = std::fopen(testFilePath.c_str(), "r");
  if (input == nullptr) {
    return Status(Status::Code::kIoError, "cannot open " + testFilePath + ": " + SystemReason(errno),
                  Status::Context::kTestFileOpen, testFilePath);
  }
  std::FILE* output = OpenForRewrite(resultFilePath.c_str());
  if (output == nullptr) {
    const int error = errno;
    std::fclose(input);
    return Status(Status::Code::kIoError, "cannot write " + resultFilePath + ": " + SystemReason(error),
                  Status::Context::kResultFileOpen, resultFilePath);
  }
  // The result file is checked to its last step: a reader must never take
  // a partial file (a full disk, say) for the prediction.
  auto finish = [&](Status status) {
    std::fclose(input);
    const int error = CloseRewrite(output);
    if (status.ok() && error != 0) {
      return Status(Status::Code::kIoError,
                    "cannot write " + resultFilePath + ": " + SystemReason(error));
    }
    return status;
  };

  // The model file is read at every step; only bytes that differ from
  // those of the model parsed last are checked and parsed.
  const FileComparison comparison = model_ == nullptr || modelText_.empty()
                                        ? FileComparison::kDifferent
                                        : CompareFileBytes(modelFilePath, modelText_, PathBytes::kAnsi);
  // A FIFO, a device or a missing file is a model that cannot be opened.
  std::string text;
  if (comparison != FileComparison::kSame) {
    Status read = ReadFileBytes(modelFilePath, &text, PathBytes::kAnsi);
    if (!read.ok()) {
      return finish(Status(read.code(), read.message(), Status::Context::kModelLoad, modelFilePath));
    }
  }
  if (comparison != FileComparison::kSame) {
    ReleaseModel();
    std::unique_ptr<LoadedModel> model;
    Status loaded = LoadedModel::Load(modelFilePath, text, &model);
    if (!loaded.ok()) return finish(loaded);
    // Kept between steps, so the transposed model pays for itself.
    model->PrepareLinearPrediction(model->largestFeature());
    model_ = std::move(model);
    // libsvm parsed these very bytes, so the model stands for them.
    modelText_ = std::move(text);
  }
  const LoadedModel& model = *model_;

  try {
    if (nodes_.size() < static_cast<std::size_t>(nodeCapacity_)) {
      nodes_.resize(static_cast<std::size_t>(nodeCapacity_));
    }
  } catch (const std::bad_alloc&) {
    return finish(Status(Status::Code::kNoMemory, "out of memory for a test-file record"));
  }

  bool probabilityOutput = probabilityRequested;
  if (probabilityOutput && !model.hasProbability()) {
    report->probabilityDropped = true;
    probabilityOutput = false;
  }
  Status predicted = PredictLines(input, output, model, probabilityOutput);
  if (!predicted.ok() && predicted.code() == Status::Code::kCorrupt) {
    predicted = Status(predicted.code(), "malformed record in " + testFilePath + " " + predicted.message());
  }
  return finish(predicted);
}

Status PredictionStep::PredictLines(std::FILE* input, std::FILE* output, const LoadedModel& model,
                                    bool probabilityOutput) {
  const int svmType = model.svmType();
  const bool withHeader =
      probabilityOutput && svmType != kSvmTypeEpsilonSvr && svmType != kSvmTypeNuSvr;
  std::vector<double> probabilities;
  if (withHeader) {
    probabilities.resize(model.labels().size());
    std::string header = "labels";
    for (int label : model.labels()) header += " " + std::to_string(label);
    header += "\n";
    WriteText(header, output);
  }
  const bool probabilityLines =
      probabilityOutput && (svmType == kSvmTypeCSvc || svmType == kSvmTypeNuSvc);
  if (nodes_.size() < static_cast<std::size_t>(nodeCapacity_)) {
    nodes_.resize(static_cast<std::size_t>(nodeCapacity_));
  }

  using Step = TestRecordReader::Step;
  TestRecordReader reader(input);
  std::string line;
  for (;;) {
    Step step = reader.StartRecord();
    if (step == Step::kEnd) return Status::Ok();
    std::int32_t i = 0;
    while (step == Step::kRead) {
      // Always keep a node free for the terminator.
      if (i >= nodeCapacity_ - 1) {
        Status grown = GrowNodes();
        if (!grown.ok()) return grown;
      }
      step = reader.NextPair(&nodes_[static_cast<std::size_t>(i)]);
      if (step == Step::kRead) ++i;
    }
    if (step == Step::kMalformed) return Status(Status::Code::kCorrupt, reader.fault());
    nodes_[static_cast<std::size_t>(i)].index = -1;

    line.clear();
    if (probabilityLines) {
      AppendGeneral(model.PredictProbability(nodes_.data(), probabilities.data()), &line);
      line.push_back(' ');
      for (double p : probabilities) {
        AppendGeneral(p, &line);
        line.push_back(' ');
      }
    } else {
      AppendGeneral(model.Predict(nodes_.data()), &line);
    }
    line.push_back('\n');
    WriteText(line, output);
  }
}

}  // namespace wenlei
