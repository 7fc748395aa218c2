#include "tools/training/evaluation.h"

#include <gtest/gtest.h>

namespace wenlei {
namespace {

using Kind = ParsedAnswer::Kind;

ParsedAnswer One(int c) { return {Kind::kOneClass, c, -1}; }
ParsedAnswer Two(int a, int b) { return {Kind::kTwoClasses, a, b}; }

TEST(EvaluationTest, CountsAccuracyTwoNamesAndF1) {
  Evaluation evaluation({"甲", "乙", "丙"});
  evaluation.Add(0, One(0));
  evaluation.Add(0, Two(1, 0));   // wrong first name, true class second
  evaluation.Add(0, {Kind::kNoKnownWords, -1, -1});
  evaluation.Add(1, One(1));
  evaluation.Add(1, Two(1, 2));   // right
  evaluation.Add(1, Two(0, 2));   // wrong, and not among the two
  // 丙 neither occurs nor is answered: it stays out of the macro average.

  EXPECT_EQ(evaluation.documents(), 6u);
  EXPECT_EQ(evaluation.correct(), 3u);
  EXPECT_DOUBLE_EQ(evaluation.Accuracy(), 0.5);
  EXPECT_DOUBLE_EQ(evaluation.TwoNameRate(), 0.5);
  EXPECT_DOUBLE_EQ(evaluation.TrueAmongTwoNamesRate(), 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(evaluation.NamesAnsweredAccuracy(), 4.0 / 6.0);
  EXPECT_EQ(evaluation.noKnownWords(), 1u);

  // 甲: predicted twice, right once; three documents.
  EXPECT_DOUBLE_EQ(evaluation.Precision(0), 0.5);
  EXPECT_DOUBLE_EQ(evaluation.Recall(0), 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(evaluation.F1(0), 0.4);
  // 乙: predicted three times, right twice; three documents.
  EXPECT_DOUBLE_EQ(evaluation.F1(1), 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(evaluation.MacroF1(), (0.4 + 2.0 / 3.0) / 2.0);
  EXPECT_EQ(evaluation.confusion()[0], (std::vector<std::size_t>{1, 1, 0, 1}));
  EXPECT_EQ(evaluation.confusion()[1], (std::vector<std::size_t>{1, 2, 0, 0}));
}

TEST(EvaluationTest, CountsTop2ByProbabilitiesUnknownAndOutOfDomain) {
  Evaluation evaluation({"甲", "乙", "丙"});
  evaluation.Add(0, One(1), {1, 0, false});   // wrong, the truth second most probable
  evaluation.Add(0, One(0), {0, 2, true});    // right, but flagged unknown
  evaluation.Add(1, One(1), {1, 2, false});
  evaluation.Add(2, One(0), {0, 1, false});   // the truth third
  evaluation.Add(2, {Kind::kNoKnownWords, -1, -1});  // always unknown
  evaluation.Add(kOutOfDomain, One(0), {0, 1, true});
  evaluation.Add(kOutOfDomain, One(2), {2, 1, false});
  evaluation.Add(kOutOfDomain, {Kind::kNoKnownWords, -1, -1});

  EXPECT_EQ(evaluation.documents(), 5u);
  EXPECT_DOUBLE_EQ(evaluation.Accuracy(), 2.0 / 5.0);
  EXPECT_DOUBLE_EQ(evaluation.NamesAnsweredAccuracy(), 2.0 / 5.0);  // the names answered
  EXPECT_DOUBLE_EQ(evaluation.Top2Accuracy(), 3.0 / 5.0);
  EXPECT_DOUBLE_EQ(evaluation.UnknownRate(), 2.0 / 5.0);
  EXPECT_DOUBLE_EQ(evaluation.AnsweredAccuracy(), 1.0 / 3.0);
  EXPECT_EQ(evaluation.outOfDomain(), 3u);
  EXPECT_DOUBLE_EQ(evaluation.OutOfDomainUnknownRate(), 2.0 / 3.0);
  const std::string json = evaluation.Json();
  EXPECT_NE(json.find("\"names_answered_accuracy\": 0.4, \"top2_accuracy\": 0.6,"), std::string::npos) << json;
  EXPECT_EQ(json.find("top_two"), std::string::npos) << json;
  EXPECT_NE(json.find("\"unknown_rate\": 0.4,"), std::string::npos) << json;
  EXPECT_NE(evaluation.Text().find("out of domain      3 documents, 0.6667 flagged unknown (2)"),
            std::string::npos)
      << evaluation.Text();
}

TEST(EvaluationTest, JsonHoldsTheMeasuresAndTheMatrix) {
  Evaluation evaluation({"甲", "a\"b"});
  evaluation.Add(0, One(0));
  evaluation.Add(1, One(0));
  const std::string json = evaluation.Json();
  EXPECT_EQ(json.front(), '{');
  EXPECT_EQ(json.substr(json.size() - 3), "}}\n");
  EXPECT_NE(json.find("\"accuracy\": 0.5,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"macro_f1\": 0.333333,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"two_name_rate\": 0,"), std::string::npos);
  EXPECT_NE(json.find("\"columns\": [\"甲\", \"a\\\"b\", \"(none)\"]"), std::string::npos) << json;
  EXPECT_NE(json.find("\"matrix\": [[1, 0, 0], [1, 0, 0]]"), std::string::npos) << json;
}

TEST(EvaluationTest, TextAlignsChineseNames) {
  Evaluation evaluation({"文字处理", "ab"});
  evaluation.Add(0, One(0));
  const std::string text = evaluation.Text();
  // Two columns for each Chinese character: the numbers line up under the header.
  EXPECT_NE(text.find("\nclass     precision  recall"), std::string::npos) << text;
  EXPECT_NE(text.find("\n文字处理     1.0000  1.0000  1.0000        1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("accuracy           1.0000 (1/1)"), std::string::npos) << text;
}

}  // namespace
}  // namespace wenlei
