#include "train/trainer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <thread>
#include <unordered_set>

#include "decide/confidence.h"
#include "source/confidence_file.h"
#include "svm.h"
#include "text/content_word.h"
#include "train/platt.h"
#include "vectorise/word_counting.h"

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
                       const std::string& prefix, SourceData* sourceData, std::string* error,
                       const std::vector<std::size_t>* subset) {
  const std::string path = prefix + kSourceFileName;
  // The average length is counted with the vocabulary as the library reads
  // it back, so the file is written once to count and once for good.
  contents->averageDocLength = 1.0;
  if (Status written = WriteSourceFile(path, *contents); !written.ok()) {
    *error = written.message();
    return false;
  }
  SourceData counting;
  if (!counting.Load(prefix).ok()) {
    *error = "cannot read back " + path;
    return false;
  }
  double knownOccurrences = 0.0;
  const std::size_t documents = subset ? subset->size() : corpus.documents.size();
  for (std::size_t i = 0; i < documents; ++i) {
    double known = 0.0;
    CountDocumentWords(counting, corpus.documents[subset ? (*subset)[i] : i].words, &known);
    knownOccurrences += known;
  }
  if (knownOccurrences == 0.0) {
    *error = "no training document holds a vocabulary word";
    return false;
  }
  contents->averageDocLength = knownOccurrences / static_cast<double>(documents);
  if (Status written = WriteSourceFile(path, *contents); !written.ok()) {
    *error = written.message();
    return false;
  }
  *sourceData = SourceData();
  if (!sourceData->Load(prefix).ok()) {
    *error = "cannot read back " + path;
    return false;
  }
  return true;
}

TermCounts CountDocumentWords(const SourceData& sourceData, const std::vector<std::string>& words,
                              double* knownWordCount) {
  return CountKnownWords(
      words.size(), [&words](std::size_t i) { return std::string_view(words[i]); },
      sourceData.wordIndexTable, knownWordCount);
}

DocumentVector VectoriseDocument(const SourceData& sourceData,
                                 const std::vector<std::string>& words, ContentWords* contentWords) {
  double known = 0.0;
  TermCounts termCounts = CountDocumentWords(sourceData, words, &known);
  if (contentWords != nullptr) *contentWords = CountContentWords(words, termCounts);
  DocumentVector vector;
  if (termCounts.empty()) return vector;
  WeightTerms(termCounts, known, sourceData.idfTable, sourceData.averageDocLength);
  vector.BuildFeatures(termCounts, sourceData.termMapTable, sourceData.wordIndexTable);
  return vector;
}

// The training documents as libsvm takes them.  Rows are ordered by class
// number, so that the labels appear first in the order 1..n and libsvm
// numbers the model's classes the way the decision step reads them.
struct Trainer::Problem {
  std::vector<std::vector<svm_node>> rows;
  std::vector<svm_node*> pointers;
  std::vector<double> labels;
  std::vector<std::size_t> documents;   // corpus index of each row
  std::vector<ContentWords> contentWords;  // content words of each row and the known ones
  svm_problem problem{};
  std::size_t documentsWithoutFeatures = 0;
};

// The training part of one cross-validation fold, with the feature ranking
// made from it alone, and the documents held out from it.
struct Trainer::Fold {
  std::vector<std::size_t> trainingDocuments;  // corpus indices, ascending
  std::vector<std::size_t> heldOutDocuments;
  std::unique_ptr<FeatureStatistics> statistics;
  std::vector<RankedUnit> ranking;
};

Trainer::Trainer(const Corpus& corpus, TrainerOptions options, TrainingProgress* progress)
    : corpus_(corpus), options_(std::move(options)), progress_(progress) {
  svm_set_print_string_function(&DiscardLibsvmOutput);
}

std::vector<int> AssignFolds(const Corpus& corpus, int folds, unsigned seed) {
  std::vector<std::vector<std::size_t>> byClass(corpus.classNamesUtf8.size());
  for (std::size_t i = 0; i < corpus.documents.size(); ++i) {
    byClass[corpus.documents[i].classIndex].push_back(i);
  }
  // Fisher-Yates over the generator's raw output, so that the folds are the
  // same with every standard library.
  std::mt19937 random(seed);
  std::vector<int> fold(corpus.documents.size(), 0);
  int next = 0;
  for (auto& documents : byClass) {
    for (std::size_t i = documents.size(); i > 1; --i) {
      std::swap(documents[i - 1], documents[random() % i]);
    }
    for (std::size_t document : documents) {
      fold[document] = next;
      next = (next + 1) % folds;
    }
  }
  return fold;
}

bool Trainer::BuildProblem(SourceData& sourceData, const std::vector<std::size_t>* documents,
                           Problem* problem, std::string* error) const {
  const std::size_t classes = corpus_.classNamesUtf8.size();
  std::vector<std::vector<std::size_t>> byClass(classes);
  if (documents != nullptr) {
    for (std::size_t i : *documents) byClass[corpus_.documents[i].classIndex].push_back(i);
  } else {
    for (std::size_t i = 0; i < corpus_.documents.size(); ++i) {
      byClass[corpus_.documents[i].classIndex].push_back(i);
    }
  }
  for (std::size_t c = 0; c < classes; ++c) {
    std::size_t rowsOfClass = 0;
    for (std::size_t i : byClass[c]) {
      ContentWords content;
      DocumentVector vector = VectoriseDocument(sourceData, corpus_.documents[i].words, &content);
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
      problem->documents.push_back(i);
      problem->contentWords.push_back(content);
      ++rowsOfClass;
    }
    if (rowsOfClass == 0 && error != nullptr) {
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

svm_parameter Trainer::Parameter(double cost, double weightPower, bool probability) {
  svm_parameter parameter{};
  if (weightPower != 0.0) {
    std::vector<std::size_t> perClass = corpus_.DocumentsPerClass();
    weightLabels_.clear();
    weights_.clear();
    for (std::size_t c = 0; c < perClass.size(); ++c) {
      weightLabels_.push_back(static_cast<int>(c + 1));
      weights_.push_back(std::pow(static_cast<double>(corpus_.documents.size()) /
                                      (static_cast<double>(perClass.size()) *
                                       static_cast<double>(perClass[c])),
                                  weightPower));
    }
    parameter.nr_weight = static_cast<int>(weights_.size());
    parameter.weight_label = weightLabels_.data();
    parameter.weight = weights_.data();
  }
  parameter.svm_type = C_SVC;
  parameter.kernel_type = options_.kernelType;
  parameter.degree = options_.degree;
  parameter.gamma = options_.gamma;
  parameter.coef0 = options_.coef0;
  parameter.cache_size = 200;
  parameter.C = cost;
  parameter.eps = 1e-3;
  parameter.shrinking = 1;
  parameter.probability = probability ? 1 : 0;
  return parameter;
}

bool Trainer::PrepareFold(const Fold& fold, std::size_t k, const std::string& prefix,
                          Problem* training, Problem* heldOut, std::string* error) const {
  SourceFileContents contents = BuildResourceContents(*fold.statistics, fold.ranking, k,
                                                      options_.vocabulary,
                                                      corpus_.classNamesGbk);
  SourceData sourceData;
  if (!WriteResourceFile(corpus_, &contents, prefix, &sourceData, error,
                         &fold.trainingDocuments)) {
    return false;
  }
  // A fold whose training part lacks a class still predicts its held-out
  // documents, with the classes it has.
  BuildProblem(sourceData, &fold.trainingDocuments, training, nullptr);
  BuildProblem(sourceData, &fold.heldOutDocuments, heldOut, nullptr);
  return true;
}

bool Trainer::CrossValidate(std::vector<Problem>& training, std::vector<Problem>& heldOut,
                            double cost, double weightPower, bool probability,
                            std::vector<double>* predicted,
                            std::vector<std::vector<double>>* probabilities,
                            std::string* error) {
  const int classes = static_cast<int>(corpus_.classNamesUtf8.size());
  predicted->assign(corpus_.documents.size(), 0.0);
  if (probabilities) probabilities->assign(corpus_.documents.size(), {});
  for (std::size_t f = 0; f < training.size(); ++f) {
    if (training[f].rows.empty()) continue;
    svm_parameter parameter = Parameter(cost, weightPower, probability);
    if (const char* message = svm_check_parameter(&training[f].problem, &parameter)) {
      *error = std::string("libsvm rejects the parameters: ") + message;
      return false;
    }
    std::srand(options_.seed);  // the probability estimates' folds come from rand()
    svm_model* model = svm_train(&training[f].problem, &parameter);
    std::vector<int> labels(svm_get_nr_class(model));
    svm_get_labels(model, labels.data());
    std::vector<double> byLabel(labels.size());
    for (std::size_t r = 0; r < heldOut[f].rows.size(); ++r) {
      const std::size_t document = heldOut[f].documents[r];
      if (probability) {
        (*predicted)[document] = svm_predict_probability(model, heldOut[f].rows[r].data(),
                                                         byLabel.data());
        std::vector<double>& p = (*probabilities)[document];
        p.assign(classes, 0.0);
        for (std::size_t j = 0; j < labels.size(); ++j) p[labels[j] - 1] = byLabel[j];
      } else {
        (*predicted)[document] = svm_predict(model, heldOut[f].rows[r].data());
      }
    }
    svm_free_and_destroy_model(&model);
  }
  return true;
}

bool Trainer::UsesLinearSolver() const {
  return options_.kernelType == LINEAR && options_.solver != Solver::kLibsvm;
}

std::vector<double> Trainer::ClassWeights(double weightPower) const {
  if (weightPower == 0.0) return {};
  std::vector<std::size_t> perClass = corpus_.DocumentsPerClass();
  std::vector<double> weights;
  for (std::size_t count : perClass) {
    weights.push_back(std::pow(static_cast<double>(corpus_.documents.size()) /
                                   (static_cast<double>(perClass.size()) *
                                    static_cast<double>(count)),
                               weightPower));
  }
  return weights;
}

namespace {

// Runs work(i) for i in [0, count) on up to jobs threads (0: one per
// processor); each i writes only its own results.
template <typename Work>
void RunInParallel(std::size_t count, unsigned jobs, const Work& work) {
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads = std::min<std::size_t>(jobs, count);
  if (threads <= 1) {
    for (std::size_t i = 0; i < count; ++i) work(i);
    return;
  }
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> pool;
  for (std::size_t t = 0; t < threads; ++t) {
    pool.emplace_back([&]() {
      for (std::size_t i = next++; i < count; i = next++) work(i);
    });
  }
  for (auto& thread : pool) thread.join();
}

std::vector<const svm_node*> RowPointers(const std::vector<std::vector<svm_node>>& rows) {
  std::vector<const svm_node*> pointers;
  for (const auto& row : rows) pointers.push_back(row.data());
  return pointers;
}

}  // namespace

void Trainer::CrossValidateLinear(const std::vector<Problem>& training,
                                  const std::vector<Problem>& heldOut, double cost,
                                  double weightPower, std::vector<double>* predicted,
                                  std::vector<std::vector<double>>* decisions,
                                  std::vector<LinearModel>* foldModels) {
  const std::size_t classes = corpus_.classNamesUtf8.size();
  predicted->assign(corpus_.documents.size(), 0.0);
  decisions->assign(corpus_.documents.size(), {});
  foldModels->assign(training.size(), LinearModel());
  const std::vector<double> weights = ClassWeights(weightPower);
  RunInParallel(training.size(), options_.jobs, [&](std::size_t f) {
    if (training[f].rows.empty()) return;
    LinearModel model = TrainLinear(RowPointers(training[f].rows), training[f].labels, classes,
                                    options_.solver, options_.multiclass, cost, weights,
                                    options_.seed);
    std::vector<std::vector<double>> rowDecisions =
        model.PairDecisionRows(RowPointers(heldOut[f].rows));
    for (std::size_t r = 0; r < heldOut[f].rows.size(); ++r) {
      const std::size_t document = heldOut[f].documents[r];
      (*decisions)[document] = std::move(rowDecisions[r]);
      (*predicted)[document] =
          static_cast<double>(VotedClass((*decisions)[document], classes) + 1);
    }
    (*foldModels)[f] = std::move(model);
  });
}

void Trainer::CalibrateLinear(const std::vector<Problem>& heldOut,
                              const std::vector<std::vector<double>>& pairDecisions,
                              const std::vector<LinearModel>& foldModels,
                              std::vector<std::vector<double>>* probabilities) {
  const std::size_t classes = corpus_.classNamesUtf8.size();
  probA_.clear();
  probB_.clear();
  std::size_t pair = 0;
  for (std::size_t i = 0; i < classes; ++i) {
    for (std::size_t j = i + 1; j < classes; ++j, ++pair) {
      std::vector<double> decisions;
      std::vector<bool> positive;
      for (std::size_t d = 0; d < pairDecisions.size(); ++d) {
        const auto truth = static_cast<std::size_t>(corpus_.documents[d].classIndex);
        if (pairDecisions[d].empty() || (truth != i && truth != j)) continue;
        decisions.push_back(pairDecisions[d][pair]);
        positive.push_back(truth == i);
      }
      const Sigmoid sigmoid = FitSigmoid(decisions, positive);
      probA_.push_back(sigmoid.a);
      probB_.push_back(sigmoid.b);
    }
  }
  probabilities->assign(corpus_.documents.size(), {});
  for (std::size_t f = 0; f < heldOut.size(); ++f) {
    if (foldModels[f].classes() != classes) continue;
    LibsvmLinearModel model(foldModels[f], probA_, probB_);
    for (std::size_t r = 0; r < heldOut[f].rows.size(); ++r) {
      std::vector<double>& p = (*probabilities)[heldOut[f].documents[r]];
      p.assign(classes, 0.0);
      svm_predict_probability(model.model(), heldOut[f].rows[r].data(), p.data());
    }
  }
}

bool Trainer::TrainLinearModel(const Problem& problem, double cost, double weightPower,
                               const std::string& modelPath, TrainingReport* report,
                               std::string* error) {
  const std::size_t classes = corpus_.classNamesUtf8.size();
  LinearModel linear = TrainLinear(RowPointers(problem.rows), problem.labels, classes,
                                   options_.solver, options_.multiclass, cost,
                                   ClassWeights(weightPower), options_.seed);
  LibsvmLinearModel model(linear, probA_, probB_);
  Status saved = model.Save(modelPath);
  if (!saved.ok()) {
    *error = saved.message();
    return false;
  }
  report->supportVectors = model.model()->l;
  return true;
}

namespace {

// Accuracy and macro-F1 of cross-validated predictions; a document without
// a prediction (label 0) counts as wrong.
void Score(const Corpus& corpus, const std::vector<double>& predicted, GridPoint* point) {
  const std::size_t classes = corpus.classNamesUtf8.size();
  std::vector<double> truePositive(classes), predictedCount(classes), actual(classes);
  std::size_t correct = 0;
  for (std::size_t i = 0; i < predicted.size(); ++i) {
    const int truth = corpus.documents[i].classIndex;
    const int answer = static_cast<int>(predicted[i]) - 1;
    actual[truth] += 1;
    if (answer >= 0) predictedCount[answer] += 1;
    if (answer == truth) {
      ++correct;
      truePositive[truth] += 1;
    }
  }
  double f1Sum = 0.0;
  for (std::size_t c = 0; c < classes; ++c) {
    const double denominator = predictedCount[c] + actual[c];
    f1Sum += denominator == 0.0 ? 0.0 : 2.0 * truePositive[c] / denominator;
  }
  point->accuracy = static_cast<double>(correct) / static_cast<double>(predicted.size());
  point->macroF1 = f1Sum / static_cast<double>(classes);
}

// Whether the final model at k would have a row of every class: some
// document of each class holds a selected word.
bool EveryClassHoldsASelectedWord(const Corpus& corpus, const FeatureStatistics& statistics,
                                  const std::vector<RankedUnit>& ranking, std::size_t k) {
  std::unordered_set<std::string> selected;
  for (std::size_t i = 0; i < k && i < ranking.size(); ++i) {
    for (const auto& member : statistics.Members(ranking[i].unit)) selected.insert(member);
  }
  std::vector<bool> holds(corpus.classNamesUtf8.size(), false);
  for (const auto& document : corpus.documents) {
    if (holds[document.classIndex]) continue;
    for (const auto& word : document.words) {
      if (selected.count(word)) {
        holds[document.classIndex] = true;
        break;
      }
    }
  }
  return std::find(holds.begin(), holds.end(), false) == holds.end();
}

// The largest threshold under which no more than share of the confidences
// fall: confidences at or above it pass.  The cut sits halfway between two
// neighbouring confidences, so a small change in a probability does not
// move a training document across it.
double ThresholdFlagging(std::vector<double> confidences, double share) {
  if (confidences.empty()) return 0.0;
  std::sort(confidences.begin(), confidences.end());
  const std::size_t allowed =
      static_cast<std::size_t>(std::floor(share * static_cast<double>(confidences.size())));
  if (allowed == 0) return confidences[0] / 2.0;
  if (allowed >= confidences.size()) return confidences.back();
  return (confidences[allowed - 1] + confidences[allowed]) / 2.0;
}

}  // namespace

bool Trainer::TrainModel(Problem& problem, double cost, double weightPower,
                         const std::string& modelPath, TrainingReport* report,
                         std::string* error) {
  svm_parameter parameter = Parameter(cost, weightPower, true);
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
  if (options_.featureCounts.empty() || options_.costs.empty() ||
      options_.classWeightPowers.empty() || options_.folds < 2) {
    *error = "the grid needs a feature count, a cost, a class weighting and at least two folds";
    return false;
  }
  if (static_cast<std::size_t>(options_.folds) > corpus_.documents.size()) {
    *error = "more folds (" + std::to_string(options_.folds) + ") than documents (" +
             std::to_string(corpus_.documents.size()) + ")";
    return false;
  }

  auto stopped = [this, error](const char* stage, double done, double total) {
    if (progress_ == nullptr || !progress_->Advance(stage, done, total)) return false;
    cancelled_ = true;
    *error = kCancelledMessage;
    return true;
  };
  if (stopped("features", 0, 1)) return false;

  // Stop words never enter a ranking, so no fold and no final model holds one.
  auto rankContentUnits = [this, report](const FeatureStatistics& statistics,
                                         bool countStopped) {
    std::vector<RankedUnit> ranking = options_.ranking == RankingOrder::kClassTurns
                                          ? statistics.RankByClassTurns(options_.minDocumentFrequency)
                                          : statistics.Rank(options_.minDocumentFrequency);
    const std::size_t before = ranking.size();
    if (!options_.stopWords.empty()) {
      ranking.erase(std::remove_if(ranking.begin(), ranking.end(),
                                   [this](const RankedUnit& unit) {
                                     return options_.stopWords.Stops(unit.unit);
                                   }),
                    ranking.end());
    }
    if (countStopped) report->stoppedUnits = before - ranking.size();
    return ranking;
  };
  FeatureStatistics statistics(corpus_, options_.synonyms);
  std::vector<RankedUnit> ranking = rankContentUnits(statistics, true);
  report->rankedUnits = ranking.size();
  if (ranking.empty()) {
    *error = "no content word occurs in " + std::to_string(options_.minDocumentFrequency) +
             " or more documents";
    return false;
  }

  // Words are selected inside each fold from its training part alone, so
  // the held-out documents play no part in choosing their own features.
  const std::vector<int> foldOf = AssignFolds(corpus_, options_.folds, options_.seed);
  std::vector<Fold> folds(options_.folds);
  for (std::size_t i = 0; i < corpus_.documents.size(); ++i) {
    Fold& fold = folds[foldOf[i]];
    fold.heldOutDocuments.push_back(i);
    for (int f = 0; f < options_.folds; ++f) {
      if (f == foldOf[i]) continue;
      folds[f].trainingDocuments.push_back(i);
    }
  }
  for (Fold& fold : folds) {
    fold.statistics = std::make_unique<FeatureStatistics>(corpus_, options_.synonyms,
                                                          &fold.trainingDocuments);
    fold.ranking = rankContentUnits(*fold.statistics, false);
  }

  std::set<std::size_t> featureCounts;
  for (std::size_t k : options_.featureCounts) {
    featureCounts.insert(k == 0 || k > ranking.size() ? ranking.size() : k);
  }
  std::set<double> costs(options_.costs.begin(), options_.costs.end());
  std::set<double> powers(options_.classWeightPowers.begin(), options_.classWeightPowers.end());

  // Smaller k, weighting power and C win ties: the simpler model of equal
  // accuracy.
  const std::size_t gridSize = featureCounts.size() * costs.size() * powers.size();
  const auto gridStart = std::chrono::steady_clock::now();
  GridPoint best;
  best.accuracy = -1.0;
  std::vector<double> predicted;
  for (std::size_t k : featureCounts) {
    if (!EveryClassHoldsASelectedWord(corpus_, statistics, ranking, k)) {
      report->skippedFeatureCounts.push_back(k);
      continue;
    }
    std::vector<Problem> training(folds.size()), heldOut(folds.size());
    for (std::size_t f = 0; f < folds.size(); ++f) {
      if (!PrepareFold(folds[f], k, prefix, &training[f], &heldOut[f], error)) return false;
    }
    for (double power : powers) {
      for (double cost : costs) {
        if (progress_) {
          std::string line = "cross-validation " + std::to_string(report->grid.size() + 1) +
                             "/" + std::to_string(gridSize) + ": k=" + std::to_string(k) +
                             " C=" + FormatCost(cost);
          if (powers.size() > 1) line += " w=" + FormatCost(power);
          if (!report->grid.empty()) {
            const double seconds = std::chrono::duration<double>(
                                       std::chrono::steady_clock::now() - gridStart)
                                       .count();
            // The calibration costs about one more grid point, the final
            // model about a fold's training.
            const double left =
                seconds / static_cast<double>(report->grid.size()) *
                (static_cast<double>(gridSize - report->grid.size()) + 1.0 +
                 1.0 / static_cast<double>(options_.folds));
            line += "; best " + FormatPercent(best.accuracy) + " at k=" +
                    std::to_string(best.features) + " C=" + FormatCost(best.cost) + "; about " +
                    std::to_string(static_cast<long>(left + 0.5)) + " s left";
          }
          progress_->Status(line);
        }
        if (stopped("cross-validation", static_cast<double>(report->grid.size()),
                    static_cast<double>(gridSize))) {
          return false;
        }
        GridPoint point{k, cost, power, 0.0, 0.0};
        if (UsesLinearSolver()) {
          std::vector<std::vector<double>> decisions;
          std::vector<LinearModel> foldModels;
          CrossValidateLinear(training, heldOut, cost, power, &predicted, &decisions, &foldModels);
        } else if (!CrossValidate(training, heldOut, cost, power, false, &predicted, nullptr,
                                  error)) {
          return false;
        }
        Score(corpus_, predicted, &point);
        report->grid.push_back(point);
        if (point.accuracy > best.accuracy) best = point;
      }
    }
  }

  if (report->grid.empty()) {
    *error = "no grid point could be cross-validated: every k left a class without documents";
    return false;
  }

  if (stopped("calibration", 0, 1)) return false;
  // The confidence threshold: cross-validated probabilities at the chosen
  // point, each document's confidence as a classification computes it.
  if (progress_) {
    progress_->Status("calibrating the confidence: k=" + std::to_string(best.features) +
                      " C=" + FormatCost(best.cost) + ", probability estimates on");
  }
  {
    std::vector<Problem> training(folds.size()), heldOut(folds.size());
    for (std::size_t f = 0; f < folds.size(); ++f) {
      if (!PrepareFold(folds[f], best.features, prefix, &training[f], &heldOut[f], error)) {
        return false;
      }
    }
    std::vector<std::vector<double>> probabilities;
    if (UsesLinearSolver()) {
      std::vector<std::vector<double>> decisions;
      std::vector<LinearModel> foldModels;
      CrossValidateLinear(training, heldOut, best.cost, best.weightPower, &predicted, &decisions,
                          &foldModels);
      CalibrateLinear(heldOut, decisions, foldModels, &probabilities);
    } else if (!CrossValidate(training, heldOut, best.cost, best.weightPower, true, &predicted,
                              &probabilities, error)) {
      return false;
    }
    std::vector<double> confidences;
    for (std::size_t f = 0; f < folds.size(); ++f) {
      for (std::size_t r = 0; r < heldOut[f].rows.size(); ++r) {
        const std::size_t document = heldOut[f].documents[r];
        std::vector<double> p = probabilities[document];
        std::sort(p.rbegin(), p.rend());
        const ContentWords& content = heldOut[f].contentWords[r];
        confidences.push_back(AnswerConfidence(p, content.words, content.known));
      }
    }
    // Documents without a selected word are unknown whatever the threshold.
    const double withFeatures = static_cast<double>(confidences.size());
    const double all = static_cast<double>(corpus_.documents.size());
    const double allowed = std::max(0.0, options_.unknownShare * all - (all - withFeatures));
    report->minConfidence = ThresholdFlagging(confidences, allowed / withFeatures);
    std::size_t flagged = corpus_.documents.size() - confidences.size();
    for (double confidence : confidences) flagged += confidence < report->minConfidence;
    report->flaggedShare = static_cast<double>(flagged) / all;
  }

  if (progress_) {
    progress_->Status("training the model: k=" + std::to_string(best.features) +
                      " C=" + FormatCost(best.cost) + ", probability estimates on");
  }
  if (stopped("training", 0, 1)) return false;
  SourceFileContents contents = BuildResourceContents(statistics, ranking, best.features,
                                                      options_.vocabulary,
                                                      corpus_.classNamesGbk);
  SourceData sourceData;
  if (!WriteResourceFile(corpus_, &contents, prefix, &sourceData, error)) return false;
  Problem problem;
  if (!BuildProblem(sourceData, nullptr, &problem, error)) return false;
  const bool modelWritten =
      UsesLinearSolver()
          ? TrainLinearModel(problem, best.cost, best.weightPower, prefix + kModelFileName,
                             report, error)
          : TrainModel(problem, best.cost, best.weightPower, prefix + kModelFileName, report,
                       error);
  if (!modelWritten) return false;

  if (Status written = WriteConfidenceFile(prefix, ConfidenceSettings{report->minConfidence});
      !written.ok()) {
    *error = written.message();
    return false;
  }

  report->selectedUnits = best.features;
  report->cost = best.cost;
  report->weightPower = best.weightPower;
  report->crossValidationAccuracy = best.accuracy;
  report->crossValidationMacroF1 = best.macroF1;
  report->vocabularyWords = contents.vocabulary.size();
  report->termMapWords = contents.termMap.size();
  report->averageDocLength = contents.averageDocLength;
  report->documentsWithoutFeatures = problem.documentsWithoutFeatures;
  return true;
}

}  // namespace wenlei
