#include "predict/linear_predictor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "svm.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"

namespace wenlei {
namespace {

struct Model {
  explicit Model(const std::string& path) : model(svm_load_model(path.c_str())) {}
  ~Model() { svm_free_and_destroy_model(&model); }
  svm_model* model;
};

// Random documents as the test file carries them: ascending features from
// 1, values of six significant digits.
std::vector<std::vector<svm_node>> Documents(int highestFeature, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::vector<svm_node>> documents;
  for (int d = 0; d < 300; ++d) {
    std::vector<svm_node> nodes;
    for (int f = 1; f <= highestFeature + 3; ++f) {
      if (random() % 4 != 0) continue;
      char text[32];
      std::snprintf(text, sizeof text, "%g", std::uniform_real_distribution<double>(0.0, 0.6)(random));
      nodes.push_back({f, std::strtod(text, nullptr)});
    }
    nodes.push_back({-1, 0.0});
    documents.push_back(nodes);
  }
  return documents;
}

// Every probability and the label to the last bit, against libsvm itself.
void ExpectLibsvmsValues(const svm_model* model, int highestFeature, unsigned seed) {
  std::unique_ptr<LinearPredictor> predictor = LinearPredictor::For(model, highestFeature);
  ASSERT_NE(predictor, nullptr);
  std::vector<double> ours(model->nr_class), theirs(model->nr_class);
  const std::size_t pairs = static_cast<std::size_t>(model->nr_class * (model->nr_class - 1) / 2);
  std::vector<double> ourDecisions(pairs), theirDecisions(pairs);
  for (const auto& nodes : Documents(highestFeature, seed)) {
    const double label = predictor->PredictProbability(nodes.data(), ours.data(), ourDecisions.data());
    EXPECT_EQ(label, svm_predict_probability(model, nodes.data(), theirs.data()));
    EXPECT_EQ(0, std::memcmp(ours.data(), theirs.data(), sizeof(double) * ours.size()));
    svm_predict_values(model, nodes.data(), theirDecisions.data());
    EXPECT_EQ(0, std::memcmp(ourDecisions.data(), theirDecisions.data(), sizeof(double) * pairs));
  }
}

// Any kernel: the coupling of libsvm's own decision values gives its
// probabilities to the last bit.
TEST(LinearPredictorTest, CouplesDecisionsAsLibsvmDoes) {
  testing::TempDir dir;
  for (int classes : {2, 4}) {
    const std::string path = dir.path() + "/rbf" + std::to_string(classes);
    testing::TrainAndSaveModel(testing::ClusteredExamples(classes, 4, 12, classes),
                               testing::DefaultParameter(RBF), path);
    Model model(path);
    std::vector<double> decisions(static_cast<std::size_t>(classes * (classes - 1) / 2));
    std::vector<double> ours(classes), theirs(classes);
    for (const auto& nodes : Documents(classes * 4, 7)) {
      svm_predict_values(model.model, nodes.data(), decisions.data());
      EXPECT_EQ(CoupledProbabilities(model.model, decisions.data(), ours.data()),
                svm_predict_probability(model.model, nodes.data(), theirs.data()));
      EXPECT_EQ(0, std::memcmp(ours.data(), theirs.data(), sizeof(double) * ours.size()));
    }
  }
}

TEST(LinearPredictorTest, GivesLibsvmsProbabilitiesToTheLastBit) {
  testing::TempDir dir;
  for (int classes : {2, 3, 8}) {
    SCOPED_TRACE(classes);
    const std::string path = dir.path() + "/model" + std::to_string(classes);
    testing::TrainAndSaveModel(testing::ClusteredExamples(classes, 4, 12, classes), testing::DefaultParameter(),
                               path);
    Model model(path);
    ExpectLibsvmsValues(model.model, classes * 4, 3);
  }
  Model bundled(WENLEI_MODELS_DIR "/help-zh/SVMModel");
  int highest = 0;
  for (int i = 0; i < bundled.model->l; ++i) {
    for (const svm_node* node = bundled.model->SV[i]; node->index != -1; ++node) {
      highest = std::max(highest, node->index);
    }
  }
  ExpectLibsvmsValues(bundled.model, highest, 5);
}

TEST(LinearPredictorTest, OnlyForLinearClassifiersInLibsvmsOwnForm) {
  testing::TempDir dir;
  const std::string rbf = dir.path() + "/rbf";
  testing::TrainAndSaveModel(testing::ClusteredExamples(3, 4, 10), testing::DefaultParameter(RBF), rbf);
  EXPECT_EQ(LinearPredictor::For(Model(rbf).model, 1000), nullptr);

  const std::string linear = dir.path() + "/linear";
  svm_parameter noProbability = testing::DefaultParameter();
  noProbability.probability = 0;
  testing::TrainAndSaveModel(testing::ClusteredExamples(3, 4, 10), noProbability, linear);
  EXPECT_EQ(LinearPredictor::For(Model(linear).model, 1000), nullptr);

  // A support vector whose indices do not ascend is merged differently by
  // libsvm's dot product: left to libsvm.
  testing::TrainAndSaveModel(testing::ClusteredExamples(3, 4, 10), testing::DefaultParameter(), linear);
  // Nor when a support vector uses a feature beyond the given end: the
  // table would be sized by whatever number the file claims.
  EXPECT_NE(LinearPredictor::For(Model(linear).model, 1000), nullptr);
  EXPECT_EQ(LinearPredictor::For(Model(linear).model, 1), nullptr);
  std::string text = testing::ReadFile(linear);
  const std::size_t sv = text.find("\nSV\n") + 4;
  const std::size_t lineEnd = text.find('\n', sv);
  text.insert(lineEnd, " 1:0.5");
  testing::WriteFile(linear, text);
  Model unordered(linear);
  ASSERT_NE(unordered.model, nullptr);
  EXPECT_EQ(LinearPredictor::For(unordered.model, 1000), nullptr);
}

}  // namespace
}  // namespace wenlei
