#include "predict/model_file_check.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "predict/prediction_step.h"
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

class ModelFileCheckTest : public ::testing::Test {
 protected:
  std::string Train(svm_parameter parameter, int classes = 3) {
    testing::TrainAndSaveModel(testing::ClusteredExamples(classes, 4, 10), parameter, model());
    return ReadFile(model());
  }
  std::string Fault(const std::string& text) {
    const Status checked = CheckModelText(text);
    EXPECT_EQ(checked.code(), Status::Code::kCorrupt) << text;
    return checked.message();
  }
  std::string model() const { return dir_.path() + "/SVMModel"; }

  TempDir dir_;
};

// A three-class linear model, small enough to read.
const char kModel[] =
    "svm_type c_svc\nkernel_type linear\nnr_class 3\ntotal_sv 3\n"
    "rho 0.1 0.2 0.3\nlabel 1 2 3\nprobA -1 -1 -1\nprobB 0.1 0.1 0.1\nnr_sv 1 1 1\nSV\n"
    "1 0.5 1:0.9 \n-1 0.5 5:0.9 \n-0.5 -1 9:0.9 \n";

TEST_F(ModelFileCheckTest, ModelsThatLibsvmSavesAreSound) {
  for (int kernel : {LINEAR, POLY, RBF, SIGMOID}) {
    Train(testing::DefaultParameter(kernel));
    const Status checked = CheckModelFile(model());
    EXPECT_TRUE(checked.ok()) << kernel << ": " << checked.message();
  }
  for (int type : {NU_SVC, ONE_CLASS, EPSILON_SVR, NU_SVR}) {
    svm_parameter parameter = testing::DefaultParameter(RBF);
    parameter.svm_type = type;
    parameter.probability = type == ONE_CLASS ? 0 : 1;
    Train(parameter, 2);
    const Status checked = CheckModelFile(model());
    EXPECT_TRUE(checked.ok()) << type << ": " << checked.message();
  }
  // Training data of a single label give a classifier of one class (no
  // pairs, no support vectors) that libsvm's own prediction answers with
  // that label, probability 1.
  for (int type : {C_SVC, NU_SVC}) {
    for (int probability : {0, 1}) {
      svm_parameter parameter = testing::DefaultParameter(RBF);
      parameter.svm_type = type;
      parameter.probability = probability;
      const std::string text = Train(parameter, 1);
      ASSERT_NE(text.find("nr_class 1\n"), std::string::npos) << text;
      const Status checked = CheckModelFile(model());
      EXPECT_TRUE(checked.ok())
          << type << " " << probability << ": " << checked.message();
    }
  }
  EXPECT_TRUE(CheckModelText(kModel).ok());
  EXPECT_TRUE(CheckModelText(std::string(kModel) + "lines after the support vectors are not read\n").ok());
  std::string crlf;
  for (char c : std::string(kModel)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_TRUE(CheckModelText(crlf).ok());
  EXPECT_EQ(CheckModelFile(dir_.path() + "/none").code(), Status::Code::kNotFound);
}

TEST_F(ModelFileCheckTest, EachDamageIsNamed) {
  auto replaced = [](const std::string& from, const std::string& to, std::string text = kModel) {
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  EXPECT_EQ(Fault(replaced("nr_class 3\n", "")), "rho before nr_class");
  EXPECT_EQ(Fault(replaced("svm_type c_svc\nkernel_type linear\nnr_class 3\n",
                           "svm_type c_svc\nkernel_type linear\nrho 1\nnr_class 3\n")),
            "rho before nr_class");
  EXPECT_EQ(Fault(replaced("nr_sv 1 1 1", "nr_sv 1 2 1")), "nr_sv adds up to 4, total_sv is 3");
  EXPECT_EQ(Fault(replaced("nr_sv 1 1 1", "nr_sv 2 2 -1")), "nr_sv holds a negative count");
  EXPECT_EQ(Fault(replaced("nr_sv 1 1 1\n", "")), "nr_sv is missing");
  EXPECT_EQ(Fault(replaced("label 1 2 3", "label 1 2")), "label needs 3 whole numbers");
  // Found by the model fuzz target: a second sign that libsvm's formatted
  // read refuses, so the check must too.
  EXPECT_EQ(Fault(replaced("label 1 2 3", "label 1 +-2 3")), "label needs 3 whole numbers");
  EXPECT_EQ(Fault(replaced("rho 0.1", "rho ++0.1")), "rho needs 3 numbers");
  EXPECT_EQ(Fault(replaced("rho 0.1 0.2 0.3", "rho 0.1 0.2 x")), "rho needs 3 numbers");
  // A kernel whose numbers overflowed in training leaves NaN behind.
  EXPECT_EQ(Fault(replaced("rho 0.1 0.2 0.3", "rho -nan -nan -nan")),
            "rho holds -nan, which is not a finite number");
  EXPECT_EQ(Fault(replaced("probB 0.1", "probB inf")), "probB holds inf, which is not a finite number");
  EXPECT_EQ(Fault(replaced("1 0.5 1", "1 nan 1")),
            "support vector 1: the coefficient nan is not a finite number");
  EXPECT_EQ(Fault(replaced("5:0.9", "5:-inf")),
            "support vector 2: the value of \"5:-inf\" is not a finite number");
  EXPECT_EQ(Fault(replaced("linear", "precomputed")),
            "kernel_type \"precomputed\" is not one of linear, polynomial, rbf, sigmoid");
  EXPECT_EQ(Fault(replaced("linear", "rbf")), "gamma is missing");
  EXPECT_EQ(Fault(replaced("c_svc", "c_svm")), "svm_type \"c_svm\" is not one libsvm knows");
  EXPECT_EQ(Fault(replaced("nr_class 3", "nr_class 0")), "nr_class 0 is outside 1 to 46340");
  EXPECT_EQ(Fault(replaced("nr_class 3", "nr_class 46341")), "nr_class 46341 is outside 1 to 46340");
  EXPECT_EQ(Fault("svm_type one_class\nkernel_type linear\nnr_class 1\ntotal_sv 0\nrho\nSV\n"),
            "nr_class 1 is too few for svm_type one_class");
  EXPECT_EQ(Fault(replaced("total_sv 3", "total_sv 4")), "nr_sv adds up to 3, total_sv is 4");
  EXPECT_EQ(Fault(replaced("total_sv 3", "total_sv 4", replaced("nr_sv 1 1 1", "nr_sv 2 1 1"))),
            "the file ends after 3 of 4 support vectors");
  EXPECT_EQ(Fault(replaced("total_sv 3", "total_sv -1")), "total_sv is negative");
  EXPECT_EQ(Fault(replaced("-0.5 -1 9:0.9", "-0.5")), "support vector 3: 1 of 2 coefficients");
  EXPECT_EQ(Fault(replaced("5:0.9", "5:")), "support vector 2: \"5:\" is not index:value");
  EXPECT_EQ(Fault(replaced("1 0.5 1", "1 x 1")), "support vector 1: a coefficient is not a number");
  EXPECT_EQ(Fault(replaced("label", "label label")), "label needs 3 whole numbers");
  EXPECT_EQ(Fault(replaced("probA", "probB")), "\"probB\" given twice");
  const std::string header = std::string(kModel).substr(0, std::string(kModel).find("SV\n") + 2);
  EXPECT_EQ(Fault(header), "the file ends after 0 of 3 support vectors");
  EXPECT_EQ(Fault(replaced("\nSV\n", "\nsv\n")), "unknown header word \"sv\"");
  EXPECT_EQ(Fault(header.substr(0, header.size() - 2)), "the header ends before \"SV\"");
  EXPECT_EQ(Fault(replaced("0.5 5", std::string("0.5\0 5", 6))), "a NUL byte in the file");
  EXPECT_EQ(Fault(""), "the header ends before \"SV\"");
}

// Every prefix of a saved model either fails the check, which the step
// turns into its message for a model that cannot be opened, or goes through
// libsvm and the prediction in a child process that must end normally.
// Before the check, most prefixes crashed inside libsvm's loader.
TEST_F(ModelFileCheckTest, EveryTruncatedModelEndsTheStepCleanly) {
  const std::string whole = Train(testing::DefaultParameter(LINEAR));
  const std::string input = dir_.path() + "/SVMTestFile.dat";
  const std::string output = dir_.path() + "/resultFile.dat";
  WriteFile(input, "0 1:0.5 2:0.5 5:0.3 \n");
  auto step = [&] {
    return RunInChild([&] { runBatchPrediction(1, input.c_str(), model().c_str(), output.c_str()); });
  };
  const std::string refusal = "can't open model file " + model() + "\n";
  int damaged = 0, predicted = 0;
  for (std::size_t length = 0; length <= whole.size(); ++length) {
    const std::string prefix = whole.substr(0, length);
    WriteFile(model(), prefix);
    const Status checked = CheckModelText(prefix);
    if (!checked.ok()) {
      // The step's own refusal, for a sample of them.
      if (damaged++ % 97 == 0) {
        auto outcome = step();
        EXPECT_EQ(outcome.status, 1) << length;
        EXPECT_EQ(outcome.err, "wenlei: damaged model file " + model() + ": " + checked.message() + "\n" + refusal);
      }
      continue;
    }
    auto outcome = step();
    ASSERT_TRUE(outcome.exited) << "prefix of " << length << " bytes ended the process by a signal";
    if (outcome.status == 0) {
      ++predicted;
    } else {
      EXPECT_EQ(outcome.status, 1);
      ASSERT_GE(outcome.err.size(), refusal.size()) << outcome.err;
      EXPECT_EQ(outcome.err.substr(outcome.err.size() - refusal.size()), refusal);
    }
  }
  EXPECT_GT(damaged, static_cast<int>(whole.size()) / 2);
  EXPECT_GT(predicted, 0) << "the whole model and prefixes ending inside its last value predict";
}

}  // namespace
}  // namespace wenlei

namespace wenlei {
namespace {

// A number's verdict is that of one whole conversion (one '+' allowed, then
// what from_chars takes, in range).
bool ConvertsWhole(std::string text) {
  if (!text.empty() && text.front() == '+') {
    text.erase(0, 1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return false;
  }
  if (text.empty()) return false;
  double value;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// ... and a model holds finite numbers only.
bool ConvertsFinite(std::string text) {
  if (!text.empty() && text.front() == '+') text.erase(0, 1);
  double value = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return std::isfinite(value);
}

TEST(ModelNumberCheckTest, CoefficientsAndValuesAreJudgedAsByAWholeConversion) {
  std::vector<std::string> numbers = {
      "0", "-0", "+0", "1.", ".5", "-.5", "+.5", ".", "-", "+", "+-1", "--1", "1e", "1e+",
      "1e5", "1E-5", "1e250", "1e251", "1e999", "1e-400", "-1e-400", "0e-999", "1.5e-05",
      "0.12345678901234567", "-2.2250738585072014e-308", "4.9e-324", "1.7976931348623157e308",
      "1e0001", "inf", "-inf", "nan", "NaN", "infinity", "0x10", "1,5", "1.5.2",
      std::string(41, '9'), std::string(40, '9'), "0." + std::string(39, '0') + "1",
      "0." + std::string(400, '0') + "1", "9" + std::string(320, '0'),
      // Exponents too long to add up in an int (found by the model fuzz
      // target; the sanitized build reports the overflow).
      "-1.323011e9394330599", "1e" + std::string(30, '9'), "1e-" + std::string(30, '9'), "1e0000000001"};
  std::mt19937 random(9);
  const std::string alphabet = "0123456789.eE+-";
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    for (std::size_t length = 1 + random() % 8; length > 0; --length) text += alphabet[random() % alphabet.size()];
    numbers.push_back(text);
  }
  for (const std::string& number : numbers) {
    // As a coefficient and as the value of a pair.
    const std::string model =
        "svm_type c_svc\nkernel_type linear\nnr_class 2\ntotal_sv 1\nrho 0.1\nlabel 1 2\n"
        "nr_sv 1 0\nSV\n" + number + " 1:" + number + "\n";
    const Status checked = CheckModelText(model);
    EXPECT_EQ(checked.ok(), ConvertsWhole(number) && ConvertsFinite(number))
        << "\"" << number << "\": " << checked.message();
  }
}

}  // namespace
}  // namespace wenlei
