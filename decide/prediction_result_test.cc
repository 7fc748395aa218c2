#include "decide/prediction_result.h"

#include <gtest/gtest.h>

#include "testutil/test_support.h"

namespace wenlei {
namespace {


std::vector<ClassPair> Decide(const std::string& line) {
  PredictionResult result;
  result.readDataLine(line, 0.95);
  return result.decisions;
}

TEST(ResultReaderTest, RanksProbabilitiesAndKeepsACloseRunnerUp) {
  EXPECT_EQ(Decide("1 0.6 0.4 "), (std::vector<ClassPair>{{1, 0}}));
  EXPECT_EQ(Decide("2 0.49 0.51 "), (std::vector<ClassPair>{{2, 1}}));
  EXPECT_EQ(Decide("1 0.5 0.5 "), (std::vector<ClassPair>{{1, 2}}));
  EXPECT_EQ(Decide("3 0.2 0.2 0.6 "), (std::vector<ClassPair>{{3, 0}}));
  EXPECT_EQ(Decide("1 1 0.95 "), (std::vector<ClassPair>{{1, 0}}));  // equal is not greater
  EXPECT_EQ(Decide("1 0 0 "), (std::vector<ClassPair>{{1, 0}}));
  EXPECT_EQ(Decide("2 0.9 0.1 "), (std::vector<ClassPair>{{1, 0}}));  // the label plays no part
  EXPECT_EQ(Decide("2 0.3 0.7"), (std::vector<ClassPair>{{2, 0}}));
  EXPECT_EQ(Decide("1 0.1 0.3 0.29 0.31 "), (std::vector<ClassPair>{{4, 2}}));
  EXPECT_EQ(Decide("1 0.44  0.45 "), (std::vector<ClassPair>{{3, 1}}));  // empty field in the line is 0.0
}

// The rule's own threshold, as its callers take it by default: ratios of
// runner-up to best just under, at and just over 0.95.  0.59375 / 0.625 is
// 19/20 exactly, the double nearest 0.95; the others lie clearly aside.
TEST(ResultReaderTest, NamesTheRunnerUpAboveNinetyFivePercentOfTheBest) {
  struct Case {
    const char* line;
    ClassPair expected;
  };
  const Case cases[] = {
      {"1 0.625 0.59 ", {1, 0}},       // 0.944
      {"1 0.625 0.59374 ", {1, 0}},    // 0.949984
      {"1 0.625 0.59375 ", {1, 0}},    // 0.95: not above it
      {"1 0.625 0.59376 ", {1, 2}},    // 0.950016
      {"1 0.59376 0.625 ", {2, 1}},    // the same, best second
      {"1 0.2 0.625 0.6 ", {2, 3}},    // 0.96
  };
  for (const Case& c : cases) {
    PredictionResult result;
    result.readDataLine(c.line);
    EXPECT_EQ(result.decisions, std::vector<ClassPair>{c.expected}) << c.line;
  }
}

TEST(ResultReaderTest, LinesWithoutTwoProbabilities) {
  EXPECT_EQ(Decide("1 0.7 "), (std::vector<ClassPair>{{1, 0}}));
  EXPECT_EQ(Decide("1"), std::vector<ClassPair>{});
  EXPECT_EQ(Decide(""), std::vector<ClassPair>{});
  EXPECT_EQ(Decide("1 "), std::vector<ClassPair>{});
  EXPECT_EQ(Decide("1 nan inf "), (std::vector<ClassPair>{{1, 0}}));  // both 0.0: ratio 0
}

TEST(ResultReaderTest, ReadsEveryDataLineAfterTheHeader) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/resultFile.dat";
  auto read = [&](const std::string& bytes) {
    testing::WriteFile(path, bytes);
    PredictionResult result;
    result.readResultFile(path, 0.95);
    return result.decisions;
  };
  EXPECT_EQ(read("labels 1 2\n1 0.8 0.2 \n2 0.49 0.51 \n"),
            (std::vector<ClassPair>{{1, 0}, {2, 1}}));
  EXPECT_EQ(read("labels 1 2\n"), std::vector<ClassPair>{});
  EXPECT_EQ(read(""), std::vector<ClassPair>{});
  EXPECT_EQ(read("2\n"), std::vector<ClassPair>{});  // plain form: taken as the header
  EXPECT_EQ(read("labels 1 2\n1 0.3 0.7"), (std::vector<ClassPair>{{2, 0}}));

  PredictionResult missing;
  const Status status = missing.readResultFile(dir.path() + "/missing", 0.95);
  EXPECT_EQ(status.code(), Status::Code::kIoError);
  EXPECT_EQ(status.context(), Status::Context::kResultFileRead);
}

class LabelTextTest : public ::testing::Test {
 protected:
  LabelTextTest() {
    classes_.MergeKeepingExisting({{0, "NULL"}, {1, "Sports"}, {2, "Arts"}, {3, "03 Music"}});
  }
  std::string Label(std::vector<ClassPair> decisions) {
    PredictionResult result;
    result.decisions = std::move(decisions);
    std::string answer;
    status_ = result.AnswerText(&classes_, &answer);
    return answer;
  }
  Status status_;
  ClassTable classes_;
};

TEST_F(LabelTextTest, NamesOneOrTwoClassesWithoutTheirTags) {
  EXPECT_EQ(Label({{1, 0}}), "Sports");
  EXPECT_EQ(Label({{2, 1}}), "Arts or Sports");
  EXPECT_EQ(Label({{3, 0}}), "Music");
  EXPECT_EQ(Label({{1, 3}}), "Sports or Music");
  EXPECT_EQ(Label({{1, 0}, {2, 1}}), "Arts or Sports");
}

TEST_F(LabelTextTest, MissingNumbersHaveEmptyNamesAndAreEntered) {
  EXPECT_EQ(Label({{5, 0}, {1, 4}}), "Sports or ");
  EXPECT_EQ(Label({{36, 0}}), "");
  for (std::int32_t number : {4, 5, 36}) {
    ASSERT_NE(classes_.Find(number), nullptr) << number;
    EXPECT_EQ(*classes_.Find(number), "") << number;
  }
  Label({{6, 0}, {37, 0}, {7, 0}});  // stops at the class above the limit
  EXPECT_NE(classes_.Find(6), nullptr);
  EXPECT_EQ(classes_.Find(7), nullptr);
}

TEST_F(LabelTextTest, OnlyExactlyNullMarksASingleClass) {
  classes_ = ClassTable();
  classes_.MergeKeepingExisting({{0, "NULL "}, {1, "Sports"}, {2, "t Arts"}});
  EXPECT_EQ(Label({{1, 0}}), "Sports or ");
  EXPECT_EQ(Label({{1, 2}}), "Sports or Arts");
}

TEST_F(LabelTextTest, ClassNumbersAboveTheLimitFail) {
  for (ClassPair pair : {ClassPair{37, 0}, ClassPair{1, 37}}) {
    Label({{1, 0}, pair});
    EXPECT_EQ(status_.code(), Status::Code::kMismatch);
    EXPECT_EQ(status_.context(), Status::Context::kClassLimit);
  }
}

}  // namespace
}  // namespace wenlei
