// The record loop without the process ending: PredictLines reports a
// malformed record to its caller, which is what lets the fuzz target run
// the loop on arbitrary bytes.
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "predict/prediction_step.h"
#include "svm.h"
#include "testutil/prediction_step.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"

namespace wenlei {
namespace {

using testing::RunInChild;
using testing::TempDir;

class RecordFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TrainAndSaveModel(testing::ClusteredExamples(3, 4, 10), testing::DefaultParameter(LINEAR),
                               dir_.path() + "/SVMModel");
    svm_model* loaded = svm_load_model((dir_.path() + "/SVMModel").c_str());
    ASSERT_NE(loaded, nullptr);
    model_ = LoadedModel::Adopt(loaded);
  }

  // Runs the loop over text as the prediction step sets it up, from a
  // buffer of nodeCapacity nodes.
  bool Run(std::string text, std::string* result, std::string* fault, int probability = 1) {
    // Some C libraries refuse fmemopen on an empty buffer.
    FILE* input = text.empty() ? std::fopen("/dev/null", "r") : fmemopen(text.data(), text.size(), "r");
    char* bytes = nullptr;
    std::size_t size = 0;
    FILE* output = open_memstream(&bytes, &size);
    const Status status = step_.PredictLines(input, output, *model_, probability != 0);
    *fault = status.ok() ? "" : status.message();
    const bool accepted = status.ok();
    std::fclose(input);
    std::fclose(output);
    *result = std::string(bytes, size);
    std::free(bytes);
    return accepted;
  }

  TempDir dir_;
  std::unique_ptr<LoadedModel> model_;
  PredictionStep step_;
};

TEST_F(RecordFaultTest, AMalformedRecordIsReportedAfterTheLinesBeforeIt) {
  std::string result, fault;
  EXPECT_FALSE(Run("0 1:0.5 \n0 2:0.5\n\n0 3:x\n0 1:1\n", &result, &fault));
  EXPECT_EQ(fault, "at line 4: expected index:value, found \"3:x\"");
  EXPECT_EQ(result.substr(0, 13), "labels 1 2 3\n");
  EXPECT_EQ(std::count(result.begin(), result.end(), '\n'), 3) << "header and two records";

  const std::pair<std::string, std::string> cases[] = {
      {"zero 1:1\n", "at line 1: expected a number, found \"zero\""},
      {"0 1:0.5 \nx 1:0.5\n", "at line 2: expected a number, found \"x\""},
      {"0 1:0.5 2 \n", "at line 1: expected index:value, found \"2\""},
      {"\n\n0 1:0.5 a:1\n", "at line 3: expected index:value, found \"a:1\""},
      {"0 1:0.5 2:nonsense\n", "at line 1: expected index:value, found \"2:nonsense\""},
      {"0 1:\n", "at line 1: expected index:value, found \"1:\""},
      {"0 99999999999:1\n", "at line 1: expected index:value, found \"99999999999:1\""},
      // One sign only, as a formatted read takes it.
      {"0 1:+-5\n", "at line 1: expected index:value, found \"1:+-5\""},
      {"0 +-1:5\n", "at line 1: expected index:value, found \"+-1:5\""},
      {"++0 1:5\n", "at line 1: expected a number, found \"++0\""},
      {"0 1:" + std::string(100000, '5') + "\n", "at line 1: expected a field, found \"1:" + std::string(30, '5') + "...\""},
  };
  for (const auto& [records, expected] : cases) {
    EXPECT_FALSE(Run(records, &result, &fault)) << records;
    EXPECT_EQ(fault, expected) << records;
  }
  EXPECT_EQ(result.rfind("labels 1 2 3\n", 0), 0u);

  EXPECT_FALSE(Run("0 1:" + std::string(5000, '1') + "\n", &result, &fault, 0));
  EXPECT_EQ(fault, "at line 1: expected a field, found \"1:" + std::string(30, '1') + "...\"");
  EXPECT_EQ(result, "");
}

TEST_F(RecordFaultTest, AcceptedRecordsGetTheirLines) {
  std::string result, fault;
  EXPECT_TRUE(Run("", &result, &fault));
  EXPECT_EQ(result, "labels 1 2 3\n");
  EXPECT_TRUE(Run("0 1:0.5 \n\n 0\n+1 -1:2 5:-3e2", &result, &fault, 0));
  EXPECT_EQ(std::count(result.begin(), result.end(), '\n'), 3);
  EXPECT_EQ(fault, "");
}

TEST_F(RecordFaultTest, TheBufferGrowsForARejectedRecordToo) {
  std::string record = "0";
  for (int i = 1; i <= 100; ++i) record += " " + std::to_string(i) + ":1";
  std::string result, fault;
  EXPECT_FALSE(Run(record + " bad\n", &result, &fault));
  EXPECT_EQ(step_.nodeCapacity(), 128);
  EXPECT_TRUE(Run(record + "\n", &result, &fault));
  EXPECT_EQ(step_.nodeCapacity(), 128);
}

TEST_F(RecordFaultTest, TheStepStillEndsTheProcessOnAMalformedRecord) {
  const std::string input = dir_.path() + "/SVMTestFile.dat";
  const std::string output = dir_.path() + "/resultFile.dat";
  testing::WriteFile(input, "0 1:1\n0 x\n");
  auto outcome = RunInChild([&] {
    runBatchPrediction(1, input.c_str(), (dir_.path() + "/SVMModel").c_str(), output.c_str());
  });
  EXPECT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "wenlei: malformed record in " + input +
                             " at line 2: expected index:value, found \"x\"\n");
}

}  // namespace
}  // namespace wenlei
