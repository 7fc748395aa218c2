#include "predict/prediction_step.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <regex>
#include <sstream>

#include "svm.h"
#include "testutil/prediction_step.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"

namespace wenlei {
namespace {

using testing::ReadFile;
using testing::RunInChild;
using testing::TempDir;
using testing::WriteFile;

// Test records in the form the test-file writer produces, several of them.
const char kRecords[] =
    "0 1:0.8 2:0.3 \n"
    "0 5:0.9 6:0.4 11:0.1 \n"
    "0 9:0.7 10:0.7 \n"
    "0 2:0.2 6:0.2 9:0.2 \n"
    "0 \n";

class PredictionStepTest : public ::testing::Test {
 protected:
  void TrainModel(svm_parameter parameter, int classes = 3) {
    testing::TrainAndSaveModel(testing::ClusteredExamples(classes, 4, 10), parameter, model());
  }
  std::string model() const { return dir_.path() + "/SVMModel"; }
  std::string input() const { return dir_.path() + "/SVMTestFile.dat"; }
  std::string output() const { return dir_.path() + "/resultFile.dat"; }

  testing::ChildOutcome Predict(int probability) {
    return RunInChild([&] { runBatchPrediction(probability, input().c_str(), model().c_str(), output().c_str()); });
  }

  // What libsvm's own command-line predictor writes for the same files.  It
  // writes plain-form values with 17 digits where the prediction step writes
  // %g, so plain lines are brought to %g before comparing.
  std::string SvmPredict(bool probability) {
    const std::string reference = dir_.path() + "/reference";
    const std::string command = std::string("svm-predict ") + (probability ? "-b 1 " : "") +
                                input() + " " + model() + " " + reference + " > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    if (probability) return ReadFile(reference);
    std::istringstream values(ReadFile(reference));
    std::string normalised;
    for (double value; values >> value;) {
      char text[32];
      std::snprintf(text, sizeof text, "%g\n", value);
      normalised += text;
    }
    return normalised;
  }

  TempDir dir_;
};

std::string WithoutBlankBeforeLineFeeds(std::string text) {
  return std::regex_replace(text, std::regex(" \n"), "\n");
}

TEST_F(PredictionStepTest, AgreesWithSvmPredictForEveryKernel) {
  WriteFile(input(), kRecords);
  for (int kernel : {LINEAR, POLY, RBF, SIGMOID}) {
    TrainModel(testing::DefaultParameter(kernel));
    for (int probability : {1, 0}) {
      auto outcome = Predict(probability);
      ASSERT_EQ(outcome.status, 0) << outcome.err;
      EXPECT_EQ(outcome.err, "");
      const std::string ours = ReadFile(output());
      EXPECT_EQ(WithoutBlankBeforeLineFeeds(ours), SvmPredict(probability))
          << "kernel " << kernel << " probability " << probability;
      if (probability) {
        EXPECT_EQ(ours.substr(0, ours.find('\n') + 1), "labels 1 2 3\n");
        // The header has no blank before its line feed; every data line has.
        EXPECT_TRUE(std::regex_match(ours, std::regex("labels[ 0-9]*[0-9]\n([^\n]* \n){5}")))
            << ours;
      }
    }
  }
}

TEST_F(PredictionStepTest, ProbabilityLinesLeadWithTheMostProbableLabel) {
  TrainModel(testing::DefaultParameter(RBF), 4);
  WriteFile(input(), kRecords);
  ASSERT_EQ(Predict(1).status, 0);
  std::istringstream lines(ReadFile(output()));
  std::string header, line;
  std::getline(lines, header);
  EXPECT_EQ(header, "labels 1 2 3 4");
  int dataLines = 0;
  while (std::getline(lines, line)) {
    ++dataLines;
    ASSERT_EQ(line.back(), ' ');
    std::istringstream fields(line);
    double label, best = -1;
    int bestPosition = 0;
    fields >> label;
    double p;
    for (int position = 1; fields >> p; ++position) {
      if (p > best) best = p, bestPosition = position;
    }
    EXPECT_EQ(label, bestPosition) << line;
  }
  EXPECT_EQ(dataLines, 5);
}

TEST_F(PredictionStepTest, EverySvmTypeGetsItsLineForm) {
  WriteFile(input(), kRecords);
  auto examples = testing::ClusteredExamples(2, 4, 10);

  svm_parameter nu = testing::DefaultParameter(RBF);
  nu.svm_type = NU_SVC;
  testing::TrainAndSaveModel(examples, nu, model());
  auto outcome = Predict(1);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(WithoutBlankBeforeLineFeeds(ReadFile(output())), SvmPredict(true));

  svm_parameter oneClass = testing::DefaultParameter(RBF);
  oneClass.svm_type = ONE_CLASS;
  oneClass.probability = 0;
  testing::TrainAndSaveModel(examples, oneClass, model());
  outcome = Predict(1);
  EXPECT_EQ(outcome.err, "model does not support probabiliy estimates\n");
  EXPECT_TRUE(std::regex_match(ReadFile(output()), std::regex("(-?1\n){5}")));

  for (int type : {EPSILON_SVR, NU_SVR}) {
    svm_parameter regression = testing::DefaultParameter(LINEAR);
    regression.svm_type = type;
    testing::TrainAndSaveModel(examples, regression, model());
    outcome = Predict(1);
    EXPECT_EQ(outcome.err, "") << "probA is present: no message";
    EXPECT_EQ(ReadFile(output()), SvmPredict(false)) << "type " << type;
    EXPECT_EQ(ReadFile(output()).find("labels"), std::string::npos);
  }

  svm_parameter noProbability = testing::DefaultParameter(LINEAR);
  noProbability.probability = 0;
  testing::TrainAndSaveModel(examples, noProbability, model());
  outcome = Predict(1);
  EXPECT_EQ(outcome.err, "model does not support probabiliy estimates\n");
  EXPECT_EQ(ReadFile(output()), SvmPredict(false));
  outcome = Predict(0);
  EXPECT_EQ(outcome.err, "") << "probabilities not requested: not checked";
}

TEST_F(PredictionStepTest, RecordsAreFoundAcrossBlankLinesAndWithoutFinalLineFeed) {
  TrainModel(testing::DefaultParameter(LINEAR));
  WriteFile(input(), "");
  ASSERT_EQ(Predict(1).status, 0);
  EXPECT_EQ(ReadFile(output()), "labels 1 2 3\n");
  ASSERT_EQ(Predict(0).status, 0);
  EXPECT_EQ(ReadFile(output()), "");

  WriteFile(input(), "0 1:0.8 2:0.3 \n");
  ASSERT_EQ(Predict(1).status, 0);
  const std::string single = ReadFile(output());
  WriteFile(input(), "\n\n  \t\n0 1:0.8\t2:0.3\n\n0\n0 1:0.8 2:0.3");
  ASSERT_EQ(Predict(1).status, 0);
  const std::string several = ReadFile(output());
  const std::string line = single.substr(single.find('\n') + 1);
  EXPECT_EQ(several.substr(0, single.size()), single);
  EXPECT_EQ(several.substr(several.size() - line.size()), line);
  EXPECT_EQ(std::count(several.begin(), several.end(), '\n'), 4);
}

TEST_F(PredictionStepTest, NodeBufferDoublesBeforeItRunsOutAndNeverShrinks) {
  TrainModel(testing::DefaultParameter(LINEAR));
  auto record = [](int pairs) {
    std::string text = "0";
    for (int i = 1; i <= pairs; ++i) text += " " + std::to_string(i) + ":0.1";
    return text + "\n";
  };
  auto capacityAfter = [&](std::vector<int> records) {
    auto outcome = RunInChild([&] {
      for (int pairs : records) {
        WriteFile(input(), record(pairs));
        runBatchPrediction(1, input().c_str(), model().c_str(), output().c_str());
      }
      std::printf("%d", TestPredictionStep().nodeCapacity());
    });
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    return outcome.out;
  };
  EXPECT_EQ(capacityAfter({62}), "64");
  EXPECT_EQ(capacityAfter({63}), "128");
  EXPECT_EQ(capacityAfter({200}), "256");
  EXPECT_EQ(capacityAfter({200, 1, 0}), "256");
  EXPECT_EQ(capacityAfter({1000}), "1024");
}

TEST_F(PredictionStepTest, FailuresEndTheProcessWithTheirMessage) {
  TrainModel(testing::DefaultParameter(LINEAR));
  WriteFile(output(), "previous");
  std::remove(input().c_str());
  auto outcome = Predict(1);
  EXPECT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "can't open input file " + input() + "\n");
  EXPECT_EQ(ReadFile(output()), "previous");

  WriteFile(input(), kRecords);
  outcome = RunInChild([&] {
    runBatchPrediction(1, input().c_str(), model().c_str(), (dir_.path() + "/none/result").c_str());
  });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "can't open output file " + dir_.path() + "/none/result\n");

  for (const char* damaged : {"", "svm_type c_svc\nkernel_type linear\nnr_class 2\n"}) {
    WriteFile(model(), damaged);
    WriteFile(output(), "previous");
    outcome = Predict(1);
    EXPECT_EQ(outcome.status, 1);
    // libsvm may print a diagnostic of its own first.
    const std::string message = "can't open model file " + model() + "\n";
    ASSERT_GE(outcome.err.size(), message.size());
    EXPECT_EQ(outcome.err.substr(outcome.err.size() - message.size()), message);
    EXPECT_EQ(ReadFile(output()), "") << "the result file was emptied first";
  }
}

TEST_F(PredictionStepTest, ResultFileIsTheSameUnderADecimalCommaLocale) {
  TrainModel(testing::DefaultParameter(RBF));
  WriteFile(input(), kRecords);
  ASSERT_EQ(Predict(1).status, 0);
  const std::string inC = ReadFile(output());
  auto outcome = RunInChild([&] {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) std::_Exit(77);
    runBatchPrediction(1, input().c_str(), model().c_str(), output().c_str());
  });
  if (outcome.status == 77) GTEST_SKIP() << "de_DE.UTF-8 locale not generated";
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(ReadFile(output()), inC);
}

}  // namespace
}  // namespace wenlei
