#include "tools/training/trainer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "interface/classifier.h"
#include "svm.h"
#include "tools/host/host_word_list.h"

namespace wenlei {
namespace {

void DiscardLibsvmOutput(const char*) {}

std::string FormatPercent(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f%%", 100.0 * share);
  return text;
}

std::string FormatCost(double cost) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", cost);
  return text;
}

}  // namespace

bool CheckClassNames(const Corpus& corpus, std::string* error) {
  const std::size_t n = corpus.classNamesGbk.size();
  if (n > kMaxClasses) {
    *error = corpus.path + ": " + std::to_string(n) + " classes; the library names at most " +
             std::to_string(kMaxClasses);
    return false;
  }
  std::map<std::string, std::size_t> answerForms;
  for (std::size_t c = 0; c < n; ++c) {
    const std::string& name = corpus.classNamesGbk[c];
    if (name == "NULL") {
      *error = corpus.path + ": the class name \"NULL\" is reserved";
      return false;
    }
    const std::size_t space = name.find(' ');
    const std::string answer = space == std::string::npos ? name : name.substr(space + 1);
    if (answer.empty()) {
      *error = corpus.path + ": class \"" + corpus.classNamesUtf8[c] +
               "\" would be answered as an empty name (nothing after its tag)";
      return false;
    }
    auto [it, added] = answerForms.emplace(answer, c);
    if (!added) {
      *error = corpus.path + ": classes \"" + corpus.classNamesUtf8[it->second] + "\" and \"" +
               corpus.classNamesUtf8[c] + "\" would both be answered with the same name";
      return false;
    }
  }
  return true;
}

bool ParseKernel(const std::string& name, int* kernelType) {
  if (name == "linear") {
    *kernelType = LINEAR;
  } else if (name == "polynomial" || name == "poly") {
    *kernelType = POLY;
  } else if (name == "rbf") {
    *kernelType = RBF;
  } else if (name == "sigmoid") {
    *kernelType = SIGMOID;
  } else {
    return false;
  }
  return true;
}

const char* KernelName(int kernelType) {
  switch (kernelType) {
    case LINEAR: return "linear";
    case POLY: return "polynomial";
    case RBF: return "rbf";
    case SIGMOID: return "sigmoid";
    default: return "unknown";
  }
}

double InverseDocumentFrequency(std::size_t documents, std::size_t documentFrequency) {
  return std::log((1.0 + static_cast<double>(documents)) /
                  (1.0 + static_cast<double>(documentFrequency))) +
         1.0;
}

SourceFileContents BuildResourceContents(const FeatureStatistics& statistics,
                                         const std::vector<RankedUnit>& ranking, std::size_t k,
                                         VocabularyScope vocabulary,
                                         const std::vector<std::string>& classNamesGbk) {
  if (k == 0 || k > ranking.size()) k = ranking.size();
  SourceFileContents contents;
  std::vector<std::string> selectedWords, otherWords;
  for (std::size_t i = 0; i < ranking.size(); ++i) {
    const bool selected = i < k;
    if (!selected && vocabulary == VocabularyScope::kSelected) break;
    std::vector<std::string> members = statistics.Members(ranking[i].unit);
    for (const auto& member : members) {
      (selected ? selectedWords : otherWords).push_back(member);
      if (!selected) continue;
      // A canonical word with variants names itself, so that its weight is
      // added to theirs whatever the byte order of the words.
      contents.termMap.emplace_back(member, members.size() > 1 ? ranking[i].unit : std::string());
    }
  }
  std::sort(selectedWords.begin(), selectedWords.end());
  std::sort(otherWords.begin(), otherWords.end());
  std::sort(contents.termMap.begin(), contents.termMap.end());
  contents.vocabulary = selectedWords;
  contents.vocabulary.insert(contents.vocabulary.end(), otherWords.begin(), otherWords.end());
  for (const auto& word : contents.vocabulary) {
    contents.idf.emplace_back(
        word, InverseDocumentFrequency(statistics.documents(),
                                       statistics.WordDocumentFrequency(word)));
  }
  contents.classNames.push_back("NULL");
  contents.classNames.insert(contents.classNames.end(), classNamesGbk.begin(),
                             classNamesGbk.end());
  return contents;
}

bool WriteResourceFile(const Corpus& corpus, SourceFileContents* contents,
                       const std::string& prefix, SourceData* sourceData, std::string* error) {
  const std::string path = prefix + kSourceFileName;
  // The average length is counted with the vocabulary as the library reads
  // it back, so the file is written once to count and once for good.
  contents->averageDocLength = 1.0;
  if (!WriteSourceFile(path, *contents, error)) return false;
  SourceData counting;
  if (counting.Load(prefix) != SourceData::LoadOutcome::kLoaded) {
    *error = "cannot read back " + path;
    return false;
  }
  Classifier classifier(counting);
  double knownOccurrences = 0.0;
  for (const auto& document : corpus.documents) {
    HostWordList words(document.words);
    double known = 0.0;
    classifier.CountWords(*words.list(), &known);
    knownOccurrences += known;
  }
  if (knownOccurrences == 0.0) {
    *error = "no training document holds a vocabulary word";
    return false;
  }
  contents->averageDocLength = knownOccurrences / static_cast<double>(corpus.documents.size());
  if (!WriteSourceFile(path, *contents, error)) return false;
  *sourceData = SourceData();
  if (sourceData->Load(prefix) != SourceData::LoadOutcome::kLoaded) {
    *error = "cannot read back " + path;
    return false;
  }
  return true;
}

DocumentVector VectoriseDocument(SourceData& sourceData, const std::vector<std::string>& words) {
  Classifier classifier(sourceData);
  HostWordList list(words);
  DocumentVector vector;
  classifier.BuildDocumentVector(*list.list(), &vector);
  return vector;
}

// The training documents as libsvm takes them.  Rows are ordered by class
// number, so that the labels appear first in the order 1..n and libsvm
// numbers the model's classes the way the decision step reads them.
struct Trainer::Problem {
  std::vector<std::vector<svm_node>> rows;
  std::vector<svm_node*> pointers;
  std::vector<double> labels;
  svm_problem problem{};
  std::size_t documentsWithoutFeatures = 0;
};

Trainer::Trainer(const Corpus& corpus, TrainerOptions options, TrainingProgress* progress)
    : corpus_(corpus), options_(std::move(options)), progress_(progress) {
  svm_set_print_string_function(&DiscardLibsvmOutput);
}

bool Trainer::BuildProblem(SourceData& sourceData, Problem* problem, std::string* error) const {
  const std::size_t classes = corpus_.classNamesUtf8.size();
  std::vector<std::vector<const CorpusDocument*>> byClass(classes);
  for (const auto& document : corpus_.documents) byClass[document.classIndex].push_back(&document);
  for (std::size_t c = 0; c < classes; ++c) {
    std::size_t rowsOfClass = 0;
    for (const CorpusDocument* document : byClass[c]) {
      DocumentVector vector = VectoriseDocument(sourceData, document->words);
      if (vector.features().empty()) {
        ++problem->documentsWithoutFeatures;
        continue;
      }
      std::vector<svm_node> row;
      row.reserve(vector.features().size() + 1);
      for (const auto& [index, value] : vector.features()) row.push_back({index, value});
      row.push_back({-1, 0.0});
      problem->rows.push_back(std::move(row));
      problem->labels.push_back(static_cast<double>(c + 1));
      ++rowsOfClass;
    }
    if (rowsOfClass == 0) {
      *error = "class \"" + corpus_.classNamesUtf8[c] +
               "\" has no document with a selected word";
      return false;
    }
  }
  for (auto& row : problem->rows) problem->pointers.push_back(row.data());
  problem->problem.l = static_cast<int>(problem->rows.size());
  problem->problem.y = problem->labels.data();
  problem->problem.x = problem->pointers.data();
  return true;
}

namespace {

svm_parameter MakeParameter(const TrainerOptions& options, double cost, bool probability,
                            std::vector<int>& weightLabels, std::vector<double>& weights) {
  svm_parameter parameter{};
  if (options.balanceClasses) {
    parameter.nr_weight = static_cast<int>(weights.size());
    parameter.weight_label = weightLabels.data();
    parameter.weight = weights.data();
  }
  parameter.svm_type = C_SVC;
  parameter.kernel_type = options.kernelType;
  parameter.degree = options.degree;
  parameter.gamma = options.gamma;
  parameter.coef0 = options.coef0;
  parameter.cache_size = 200;
  parameter.C = cost;
  parameter.eps = 1e-3;
  parameter.shrinking = 1;
  parameter.probability = probability ? 1 : 0;
  return parameter;
}

}  // namespace

bool Trainer::CrossValidate(Problem& problem, double cost, double* accuracy, std::string* error) {
  // Probability estimates play no part in the choice of k and C; leaving
  // them out of the folds saves libsvm's inner cross-validation.
  svm_parameter parameter = MakeParameter(options_, cost, false, weightLabels_, weights_);
  if (const char* message = svm_check_parameter(&problem.problem, &parameter)) {
    *error = std::string("libsvm rejects the parameters: ") + message;
    return false;
  }
  std::vector<double> predicted(problem.labels.size());
  std::srand(options_.seed);  // libsvm draws the folds from rand()
  svm_cross_validation(&problem.problem, &parameter, options_.folds, predicted.data());
  std::size_t correct = 0;
  for (std::size_t i = 0; i < predicted.size(); ++i) correct += predicted[i] == problem.labels[i];
  // A document without a selected word gets no class from the library, so
  // it counts as wrong: a small k cannot win by leaving documents out.
  *accuracy = static_cast<double>(correct) / static_cast<double>(corpus_.documents.size());
  return true;
}

bool Trainer::TrainModel(Problem& problem, double cost, const std::string& modelPath,
                         TrainingReport* report, std::string* error) {
  svm_parameter parameter = MakeParameter(options_, cost, true, weightLabels_, weights_);
  if (const char* message = svm_check_parameter(&problem.problem, &parameter)) {
    *error = std::string("libsvm rejects the parameters: ") + message;
    return false;
  }
  std::srand(options_.seed);  // the probability estimates' folds come from rand()
  svm_model* model = svm_train(&problem.problem, &parameter);
  const int classes = static_cast<int>(corpus_.classNamesUtf8.size());
  bool labelsInOrder = svm_get_nr_class(model) == classes;
  if (labelsInOrder) {
    std::vector<int> labels(classes);
    svm_get_labels(model, labels.data());
    for (int i = 0; i < classes; ++i) labelsInOrder = labelsInOrder && labels[i] == i + 1;
  }
  bool ok = true;
  if (!labelsInOrder) {
    *error = "the model's class labels are not 1.." + std::to_string(classes) +
             " in order; nothing written";
    ok = false;
  } else if (svm_check_probability_model(model) == 0) {
    *error = "the model holds no probability information; nothing written";
    ok = false;
  } else if (svm_save_model(modelPath.c_str(), model) != 0) {
    *error = "cannot write " + modelPath;
    ok = false;
  }
  report->supportVectors = model->l;
  svm_free_and_destroy_model(&model);
  return ok;
}

bool Trainer::Train(const std::string& prefix, TrainingReport* report, std::string* error) {
  *report = TrainingReport();
  report->documents = corpus_.documents.size();
  report->classes = corpus_.classNamesUtf8.size();
  if (report->classes < 2) {
    *error = corpus_.path + ": one class only (\"" + corpus_.classNamesUtf8[0] +
             "\"); a model needs two or more";
    return false;
  }
  if (!CheckClassNames(corpus_, error)) return false;
  if (options_.featureCounts.empty() || options_.costs.empty() || options_.folds < 2) {
    *error = "the grid needs a feature count, a cost and at least two folds";
    return false;
  }

  // Balanced weights: C of class c times N / (n N_c), so that every class
  // weighs as much as the others in the optimisation.
  std::vector<std::size_t> perClass = corpus_.DocumentsPerClass();
  for (std::size_t c = 0; c < perClass.size(); ++c) {
    weightLabels_.push_back(static_cast<int>(c + 1));
    weights_.push_back(static_cast<double>(corpus_.documents.size()) /
                       (static_cast<double>(perClass.size()) * static_cast<double>(perClass[c])));
  }

  FeatureStatistics statistics(corpus_, options_.synonyms);
  std::vector<RankedUnit> ranking = statistics.Rank(options_.minDocumentFrequency);
  report->rankedUnits = ranking.size();
  if (ranking.empty()) {
    *error = "no word occurs in " + std::to_string(options_.minDocumentFrequency) +
             " or more documents";
    return false;
  }
  std::set<std::size_t> featureCounts;
  for (std::size_t k : options_.featureCounts) {
    featureCounts.insert(k == 0 || k > ranking.size() ? ranking.size() : k);
  }
  std::set<double> costs(options_.costs.begin(), options_.costs.end());

  // Smaller k and C win ties: the simpler model of equal accuracy.
  const std::size_t gridSize = featureCounts.size() * costs.size();
  const auto gridStart = std::chrono::steady_clock::now();
  GridPoint best;
  best.accuracy = -1.0;
  for (std::size_t k : featureCounts) {
    SourceFileContents contents = BuildResourceContents(statistics, ranking, k,
                                                        options_.vocabulary,
                                                        corpus_.classNamesGbk);
    SourceData sourceData;
    if (!WriteResourceFile(corpus_, &contents, prefix, &sourceData, error)) return false;
    Problem problem;
    if (!BuildProblem(sourceData, &problem, error)) {
      report->skippedFeatureCounts.push_back(k);
      error->clear();
      continue;
    }
    for (double cost : costs) {
      if (progress_) {
        std::string line = "cross-validation " + std::to_string(report->grid.size() + 1) + "/" +
                           std::to_string(gridSize) + ": k=" + std::to_string(k) +
                           " C=" + FormatCost(cost);
        if (!report->grid.empty()) {
          const double seconds = std::chrono::duration<double>(
                                     std::chrono::steady_clock::now() - gridStart)
                                     .count();
          const double left = seconds / static_cast<double>(report->grid.size()) *
                              static_cast<double>(gridSize - report->grid.size());
          line += "; best " + FormatPercent(best.accuracy) + " at k=" +
                  std::to_string(best.features) + " C=" + FormatCost(best.cost) + "; about " +
                  std::to_string(static_cast<long>(left + 0.5)) + " s left";
        }
        progress_->Status(line);
      }
      GridPoint point{k, cost, 0.0};
      if (!CrossValidate(problem, cost, &point.accuracy, error)) return false;
      report->grid.push_back(point);
      if (point.accuracy > best.accuracy) best = point;
    }
  }
  if (report->grid.empty()) {
    *error = "no grid point could be cross-validated: every k left a class without documents";
    return false;
  }

  if (progress_) {
    progress_->Status("training the model: k=" + std::to_string(best.features) +
                      " C=" + FormatCost(best.cost) + ", probability estimates on");
  }
  SourceFileContents contents = BuildResourceContents(statistics, ranking, best.features,
                                                      options_.vocabulary,
                                                      corpus_.classNamesGbk);
  SourceData sourceData;
  if (!WriteResourceFile(corpus_, &contents, prefix, &sourceData, error)) return false;
  Problem problem;
  if (!BuildProblem(sourceData, &problem, error)) return false;
  if (!TrainModel(problem, best.cost, prefix + kModelFileName, report, error)) return false;

  report->selectedUnits = best.features;
  report->cost = best.cost;
  report->crossValidationAccuracy = best.accuracy;
  report->vocabularyWords = contents.vocabulary.size();
  report->termMapWords = contents.termMap.size();
  report->averageDocLength = contents.averageDocLength;
  report->documentsWithoutFeatures = problem.documentsWithoutFeatures;
  return true;
}

}  // namespace wenlei
