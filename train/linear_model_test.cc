#include "train/linear_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "testutil/test_support.h"
#include "train/platt.h"
#include "util/file_bytes.h"

namespace wenlei {
namespace {

std::vector<svm_node> RandomSparse(std::mt19937& random, int features, double density) {
  std::uniform_real_distribution<double> value(-2.0, 2.0), coin(0.0, 1.0);
  std::vector<svm_node> nodes;
  for (int f = 1; f <= features; ++f) {
    if (coin(random) < density) nodes.push_back({f, value(random)});
  }
  nodes.push_back({-1, 0.0});
  return nodes;
}

// The pair decisions the linear model means, computed here from its vectors.
std::vector<double> IntendedDecisions(const LinearModel& linear, const std::vector<svm_node>& x) {
  auto dot = [&x](const std::vector<svm_node>& w) {
    double sum = 0.0;
    for (const svm_node& a : x) {
      for (const svm_node& b : w) sum += a.index != -1 && a.index == b.index ? a.value * b.value : 0.0;
    }
    return sum;
  };
  std::vector<double> values;
  for (std::size_t i = 0, p = 0; i < linear.classes(); ++i) {
    for (std::size_t j = i + 1; j < linear.classes(); ++j, ++p) {
      values.push_back(linear.multiclass == Multiclass::kOneVsOne
                           ? dot(linear.weights[p]) + linear.biases[p]
                           : dot(linear.weights[i]) + linear.biases[i] -
                                 dot(linear.weights[j]) - linear.biases[j]);
    }
  }
  return values;
}

// libsvm's own prediction on the written file gives the pair decisions the
// linear model means -- one-vs-rest (w_i - w_j) . x + b_i - b_j, one-vs-one
// w_ij . x + b_ij -- and the probabilities of the model the trainer holds in
// memory.
TEST(LibsvmLinearModelTest, LibsvmDecidesAsTheLinearModelOnTheWrittenFile) {
  testing::TempDir dir;
  std::mt19937 random(11);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  for (Multiclass multiclass : {Multiclass::kOneVsRest, Multiclass::kOneVsOne})
  for (std::size_t classes : {2, 3, 5, 8}) {
    LinearModel linear;
    linear.multiclass = multiclass;
    linear.classCount = classes;
    const std::size_t vectors = multiclass == Multiclass::kOneVsOne ? PairCount(classes) : classes;
    for (std::size_t c = 0; c < vectors; ++c) {
      linear.weights.push_back(RandomSparse(random, 40, 0.5));
      linear.biases.push_back(uniform(random));
    }
    std::vector<double> probA, probB;
    for (std::size_t p = 0; p < PairCount(classes); ++p) {
      probA.push_back(-1.0 - uniform(random) * 0.5);
      probB.push_back(uniform(random) * 0.3);
    }
    LibsvmLinearModel inMemory(linear, probA, probB);
    const std::string path = dir.path() + "/model" + std::to_string(classes);
    ASSERT_TRUE(inMemory.Save(path).ok());
    svm_model* loaded = svm_load_model(path.c_str());
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(svm_get_nr_class(loaded), static_cast<int>(classes));
    ASSERT_NE(svm_check_probability_model(loaded), 0);
    // From three classes on, every class holds a support vector.
    for (std::size_t c = 0; c < classes && classes > 2; ++c) EXPECT_GT(loaded->nSV[c], 0);
    for (int trial = 0; trial < 20; ++trial) {
      const std::vector<svm_node> x = RandomSparse(random, 45, 0.3);
      const std::vector<double> intended = IntendedDecisions(linear, x);
      const std::vector<double> computed = linear.PairDecisions(x.data());
      std::vector<double> decisions(PairCount(classes));
      svm_predict_values(loaded, x.data(), decisions.data());
      for (std::size_t p = 0; p < decisions.size(); ++p) {
        // The file holds the weights to 8 significant digits.
        EXPECT_NEAR(decisions[p], intended[p], 1e-6) << classes;
        EXPECT_NEAR(computed[p], intended[p], 1e-9) << classes;
      }
      std::vector<double> fromFile(classes), fromMemory(classes);
      const double label = svm_predict_probability(loaded, x.data(), fromFile.data());
      svm_predict_probability(inMemory.model(), x.data(), fromMemory.data());
      for (std::size_t c = 0; c < classes; ++c) EXPECT_NEAR(fromFile[c], fromMemory[c], 1e-9);
      if (classes == 2) {
        const double f = intended[0];
        EXPECT_NEAR(fromFile[0], 1.0 / (1.0 + std::exp(probA[0] * f + probB[0])), 1e-6);
      }
      EXPECT_EQ(label, static_cast<double>(std::max_element(fromFile.begin(), fromFile.end()) -
                                           fromFile.begin() + 1));
    }
    svm_free_and_destroy_model(&loaded);
  }
}

// The model's text is the file libsvm's own writer makes of it, byte for
// byte: tiny and huge weights (exponent forms), both schemes, with and
// without sigmoids.
TEST(LibsvmLinearModelTest, TextIsWhatLibsvmWrites) {
  testing::TempDir dir;
  std::mt19937 random(5);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  for (Multiclass multiclass : {Multiclass::kOneVsRest, Multiclass::kOneVsOne})
  for (std::size_t classes : {2, 4}) {
    LinearModel linear;
    linear.multiclass = multiclass;
    linear.classCount = classes;
    const std::size_t vectors = multiclass == Multiclass::kOneVsOne ? PairCount(classes) : classes;
    for (std::size_t c = 0; c < vectors; ++c) {
      linear.weights.push_back(RandomSparse(random, 30, 0.5));
      linear.weights.back().insert(linear.weights.back().end() - 1,
                                   {{31, 1.5e-7 * uniform(random)}, {32, -3.25e12}, {33, 0.1}});
      linear.biases.push_back(uniform(random) * 1e-5);
    }
    std::vector<double> probA, probB;
    if (classes == 4) {
      for (std::size_t p = 0; p < PairCount(classes); ++p) {
        probA.push_back(-1.0 - uniform(random));
        probB.push_back(uniform(random) * 1e-6);
      }
    }
    LibsvmLinearModel model(linear, probA, probB);
    const std::string path = dir.path() + "/libsvm-wrote";
    ASSERT_EQ(svm_save_model(path.c_str(), model.model()), 0);
    std::string written;
    ASSERT_TRUE(ReadFileBytes(path, &written).ok());
    // libsvm's text mode writes CR LF on Windows.
    written.erase(std::remove(written.begin(), written.end(), '\r'), written.end());
    EXPECT_EQ(model.Text(), written) << MulticlassName(multiclass) << " " << classes;
  }
}

TEST(PlattTest, FitsTheRegularisedTargets) {
  // Decision values that say nothing: A stays 0 and the sigmoid gives the
  // mean regularised target, (2/3 + 3 * 1/5) / 4 = 19/60.
  Sigmoid flat = FitSigmoid({0, 0, 0, 0}, {true, false, false, false});
  EXPECT_NEAR(flat.a, 0.0, 1e-9);
  EXPECT_NEAR(flat.b, std::log(41.0 / 19.0), 1e-6);

  // Elsewhere the fit is where the likelihood's gradient vanishes, and a
  // larger decision value means a more likely positive (A < 0).
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> f;
  std::vector<bool> positive;
  for (int i = 0; i < 200; ++i) {
    positive.push_back(i % 3 != 0);
    f.push_back((positive.back() ? 1.0 : -1.0) + noise(random));
  }
  const Sigmoid s = FitSigmoid(f, positive);
  EXPECT_LT(s.a, 0.0);
  const double high = (133.0 + 1.0) / (133.0 + 2.0), low = 1.0 / (67.0 + 2.0);
  double g1 = 0.0, g2 = 0.0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    const double p = 1.0 / (1.0 + std::exp(s.a * f[i] + s.b));
    const double t = positive[i] ? high : low;
    g1 += f[i] * (t - p);
    g2 += t - p;
  }
  EXPECT_NEAR(g1, 0.0, 1e-4);
  EXPECT_NEAR(g2, 0.0, 1e-4);
}

}  // namespace
}  // namespace wenlei
