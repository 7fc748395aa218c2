#include "testutil/resource_set_builder.h"

#include <random>
#include <stdexcept>
#include <utility>

#include "source/source_data.h"
#include "source/source_file.h"
#include "testutil/test_support.h"
#include "vectorise/document_features.h"

namespace wenlei::testing {
namespace {

void Quiet(const char*) {}

}  // namespace

svm_parameter DefaultParameter(int kernelType) {
  svm_parameter parameter{};
  parameter.svm_type = C_SVC;
  parameter.kernel_type = kernelType;
  parameter.degree = 2;
  parameter.gamma = 0.5;
  parameter.coef0 = 0.1;
  parameter.nu = 0.5;
  parameter.cache_size = 20;
  parameter.C = 4;
  parameter.eps = 1e-3;
  parameter.p = 0.1;
  parameter.shrinking = 1;
  parameter.probability = 1;
  return parameter;
}

Example VectorisedExample(const std::vector<std::string>& words, double label,
                          const SourceData& resourceSet) {
  const std::vector<std::string_view> views(words.begin(), words.end());
  DocumentFeatures document = VectoriseWords(views, resourceSet, FeatureRounding::kNone);
  return {label, {document.features.begin(), document.features.end()}};
}

void TrainAndSaveModel(const std::vector<Example>& examples, const svm_parameter& parameter,
                       const std::string& path) {
  svm_set_print_string_function(&Quiet);
  std::vector<std::vector<svm_node>> rows;
  std::vector<svm_node*> pointers;
  std::vector<double> labels;
  for (const auto& example : examples) {
    std::vector<svm_node> row;
    for (const auto& [index, value] : example.features) row.push_back({index, value});
    row.push_back({-1, 0.0});
    rows.push_back(std::move(row));
    labels.push_back(example.label);
  }
  for (auto& row : rows) pointers.push_back(row.data());
  svm_problem problem{static_cast<int>(rows.size()), labels.data(), pointers.data()};
  if (const char* error = svm_check_parameter(&problem, &parameter)) {
    throw std::runtime_error(std::string("svm parameter: ") + error);
  }
  srand(1);  // libsvm's probability folds draw from rand()
  svm_model* model = svm_train(&problem, &parameter);
  int saved = svm_save_model(path.c_str(), model);
  svm_free_and_destroy_model(&model);
  if (saved != 0) throw std::runtime_error("cannot save model " + path);
}

std::vector<Example> ClusteredExamples(int classes, int featuresPerClass, int perClass,
                                       unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> weight(0.2, 1.0);
  std::vector<Example> examples;
  for (int c = 1; c <= classes; ++c) {
    for (int i = 0; i < perClass; ++i) {
      Example example{static_cast<double>(c), {}};
      for (int f = 0; f < featuresPerClass; ++f) {
        if (random() % 2) example.features[(c - 1) * featuresPerClass + f + 1] = weight(random);
      }
      int noise = static_cast<int>(random() % (classes * featuresPerClass)) + 1;
      example.features.emplace(noise, 0.1);
      examples.push_back(example);
    }
  }
  return examples;
}

std::string ClassWord(int classNumber, int j) {
  return "k" + std::to_string(classNumber) + "w" + std::to_string(j);
}

void WriteAndLoadSourceFile(const std::string& prefix, SourceFileContents contents,
                            SourceData* sourceData) {
  contents.averageDocLength = 8.0;
  if (Status written = WriteSourceFile(prefix + kSourceFileName, contents); !written.ok()) {
    throw std::runtime_error(written.message());
  }
  if (!sourceData->Load(prefix).ok()) {
    throw std::runtime_error("cannot read back " + prefix + kSourceFileName);
  }
}

void BuildResourceSet(const std::string& prefix, const ResourceSetSpec& spec) {
  const int classes = static_cast<int>(spec.classNames.size());
  SourceFileContents contents;
  for (int c = 1; c <= classes; ++c) {
    for (int j = 0; j < spec.wordsPerClass; ++j) {
      contents.vocabulary.push_back(ClassWord(c, j));
      contents.termMap.emplace_back(ClassWord(c, j), "");
      contents.idf.emplace_back(ClassWord(c, j), 1.0 + 0.25 * (j % 4));
    }
  }
  contents.classNames.push_back("NULL");
  for (const auto& name : spec.classNames) contents.classNames.push_back(name);
  SourceData sourceData;
  WriteAndLoadSourceFile(prefix, std::move(contents), &sourceData);
  std::mt19937 random(11);
  std::vector<Example> examples;
  for (int c = 1; c <= classes; ++c) {
    for (int d = 0; d < spec.documentsPerClass; ++d) {
      std::vector<std::string> words;
      for (int i = 0; i < 6; ++i) {
        words.push_back(ClassWord(c, static_cast<int>(random() % spec.wordsPerClass)));
      }
      words.push_back(ClassWord(static_cast<int>(random() % classes) + 1,
                                static_cast<int>(random() % spec.wordsPerClass)));
      examples.push_back(VectorisedExample(words, c, sourceData));
    }
  }
  TrainAndSaveModel(examples, spec.parameter, prefix + kModelFileName);
}

}  // namespace wenlei::testing
