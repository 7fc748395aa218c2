// The prediction step's record loop on arbitrary test-file bytes with a
// fixed small model.  The first byte chooses the model (linear or rbf) and
// whether probabilities are written; the rest is the test file.  Either
// every record is predicted into a well-formed result file, or a malformed
// record stops the loop with a fault naming its line.  The node buffer is
// resized to exactly nodeCapacity nodes, so the sanitizers see any
// access past it; nodeCapacity must cover the longest record read.
#include <stdio.h>  // fmemopen, open_memstream

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "predict/prediction_step.h"
#include "svm.h"
#include "testutil/resource_set_builder.h"

namespace {

constexpr char kTarget[] = "test_records";
constexpr int kClasses = 3;

const wenlei::LoadedModel& Model(int which) {
  static svm_model* const models[2] = {
      [] {
        const std::string path = wenlei::fuzz::ScratchPrefix() + "linear-model";
        wenlei::testing::TrainAndSaveModel(wenlei::testing::ClusteredExamples(kClasses, 4, 10),
                                           wenlei::testing::DefaultParameter(LINEAR), path);
        return svm_load_model(path.c_str());
      }(),
      [] {
        const std::string path = wenlei::fuzz::ScratchPrefix() + "rbf-model";
        wenlei::testing::TrainAndSaveModel(wenlei::testing::ClusteredExamples(kClasses, 4, 10),
                                           wenlei::testing::DefaultParameter(RBF), path);
        return svm_load_model(path.c_str());
      }()};
  if (models[0] == nullptr || models[1] == nullptr) {
    wenlei::fuzz::Fail(kTarget, "cannot train the models");
  }
  static const std::unique_ptr<wenlei::LoadedModel> loaded[2] = {
      wenlei::LoadedModel::Adopt(models[0]), wenlei::LoadedModel::Adopt(models[1])};
  return *loaded[which];
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Records of an accepted test file and the pairs of its longest one: a
// record is a line holding a token, its first token the number, every
// further token a pair.
struct RecordShape {
  std::size_t records = 0;
  std::size_t longest = 0;
};

RecordShape ShapeOf(const std::string& text) {
  RecordShape shape;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t tokens = 0;
    for (std::size_t i = start; i < end; ++i) {
      if (!IsSpace(text[i]) && (i == start || IsSpace(text[i - 1]))) ++tokens;
    }
    if (tokens > 0) {
      ++shape.records;
      if (tokens - 1 > shape.longest) shape.longest = tokens - 1;
    }
    start = end + 1;
  }
  return shape;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Model(0);
  Model(1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wenlei::fuzz::FuzzInput input(data, size);
  const std::uint8_t choice = input.TakeByte();
  std::string records = input.TakeRest();

  static wenlei::PredictionStep step;
  const bool probabilityOutput = (choice & 2) == 0;
  // Every input starts from the process's first capacity, so that growth is
  // exercised anew and the buffer is never larger than the input needs.
  step.ResetNodeCapacity();

  // Some C libraries refuse fmemopen on an empty buffer.
  FILE* testFile = records.empty() ? fopen("/dev/null", "r")
                                   : fmemopen(records.data(), records.size(), "r");
  char* resultBytes = nullptr;
  std::size_t resultSize = 0;
  FILE* resultFile = open_memstream(&resultBytes, &resultSize);
  if (testFile == nullptr || resultFile == nullptr) wenlei::fuzz::Fail(kTarget, "cannot open streams");

  const wenlei::Status status =
      step.PredictLines(testFile, resultFile, Model(choice & 1), probabilityOutput);
  const bool accepted = status.ok();
  const std::string fault = status.message();
  std::fclose(testFile);
  std::fclose(resultFile);
  const std::string result(resultBytes, resultSize);
  std::free(resultBytes);
  const std::int32_t capacity = step.nodeCapacity();

  FUZZ_CHECK(kTarget, capacity >= 64 && (capacity & (capacity - 1)) == 0,
             "nodeCapacity is not 64 doubled: " + std::to_string(capacity));
  if (!accepted) {
    FUZZ_CHECK(kTarget, fault.rfind("at line ", 0) == 0 && fault.find('\n') == std::string::npos,
               "a rejection without a one-line fault: " + fault);
    return 0;
  }

  const RecordShape shape = ShapeOf(records);
  FUZZ_CHECK(kTarget, static_cast<std::size_t>(capacity) >= shape.longest + 1,
             "nodeCapacity " + std::to_string(capacity) + " below a record of " +
                 std::to_string(shape.longest) + " pairs and its terminator");
  const std::vector<std::string> lines = Lines(result);
  const bool header = probabilityOutput;
  FUZZ_CHECK(kTarget, lines.size() == shape.records + (header ? 1 : 0),
             "result lines do not match the records: " + std::to_string(lines.size()));
  FUZZ_CHECK(kTarget, result.empty() || result.back() == '\n', "the result file's last line is open");
  if (header) {
    FUZZ_CHECK(kTarget, lines[0] == "labels 1 2 3", "header: " + lines[0]);
    for (std::size_t i = 1; i < lines.size(); ++i) {
      std::size_t fields = 0;
      for (char c : lines[i]) fields += c == ' ';
      FUZZ_CHECK(kTarget, fields == kClasses + 1 && lines[i].back() == ' ',
                 "probability line without a label and three probabilities: " + lines[i]);
    }
  } else {
    for (const std::string& line : lines) {
      FUZZ_CHECK(kTarget, !line.empty() && line.find(' ') == std::string::npos,
                 "plain line: " + line);
    }
  }
  return 0;
}
