#include "train/trainer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "decide/class_decision.h"
#include "decide/confidence.h"
#include "predict/model_file_check.h"
#include "source/class_names.h"
#include "source/confidence_file.h"
#include "svm.h"
#include "text/content_word.h"
#include "train/corpus_vectoriser.h"
#include "train/fold_runner.h"
#include "train/grid_clock.h"
#include "train/linear_model.h"
#include "train/trainer_internal.h"
#include "train/platt.h"
#include "train/seeded_rand.h"
#include "util/number_text.h"

namespace wenlei {
namespace {

void DiscardLibsvmOutput(const char*) {}

std::string FormatPercent(double share) { return FixedText(100.0 * share, 2) + "%"; }

std::string FormatCost(double cost) { return GeneralText(cost); }

}  // namespace

std::string ChanceWarning(const TrainingReport& report) {
  return "the cross-validation accuracy, " + FormatPercent(report.crossValidationAccuracy) +
         ", is at or below chance (" + FormatPercent(report.chanceAccuracy) +
         ", answering every document with the largest class): the model has not learnt the "
         "classes; give it more documents per class";
}

Status CheckClassNames(const Corpus& corpus) {
  auto fault = [&corpus](const std::string& message) {
    return Status(Status::Code::kInvalidArgument, corpus.path + ": " + message);
  };
  const std::size_t n = corpus.classNamesGbk.size();
  if (n > static_cast<std::size_t>(kClassLimit)) {
    return fault(std::to_string(n) + " classes; the library names at most " + std::to_string(kClassLimit));
  }
  std::map<std::string, std::size_t> answerForms;
  for (std::size_t c = 0; c < n; ++c) {
    const std::string& name = corpus.classNamesGbk[c];
    if (name == "NULL") return fault("the class name \"NULL\" is reserved");
    const std::string answer = WithoutTag(name);
    if (answer.empty()) {
      return fault("class \"" + corpus.classNamesUtf8[c] +
                   "\" would be answered as an empty name (nothing after its tag)");
    }
    auto [it, added] = answerForms.emplace(answer, c);
    if (!added) {
      return fault("classes \"" + corpus.classNamesUtf8[it->second] + "\" and \"" +
                   corpus.classNamesUtf8[c] + "\" would both be answered with the same name");
    }
  }
  return Status::Ok();
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

Trainer::Trainer(const Corpus& corpus, TrainerOptions options, TrainingProgress* progress)
    : corpus_(corpus), options_(std::move(options)), progress_(progress) {
  svm_set_print_string_function(&DiscardLibsvmOutput);
}

std::vector<std::vector<std::size_t>> Trainer::DocumentsByClass(
    const std::vector<std::size_t>* documents) const {
  std::vector<std::vector<std::size_t>> byClass(corpus_.classNamesUtf8.size());
  if (documents != nullptr) {
    for (std::size_t i : *documents) byClass[corpus_.documents[i].classIndex].push_back(i);
  } else {
    for (std::size_t i = 0; i < corpus_.documents.size(); ++i) {
      byClass[corpus_.documents[i].classIndex].push_back(i);
    }
  }
  return byClass;
}

void Trainer::ReserveLinearRows(const std::vector<std::vector<std::size_t>>& byClass,
                                LinearRows* rows) const {
  // A document has at most as many features as distinct units.
  std::size_t count = 0, units = 0;
  for (const auto& documents : byClass) {
    count += documents.size();
    for (std::size_t i : documents) units += corpus_.documents[i].counts.size();
  }
  rows->Reserve(count, units);
}

std::size_t Trainer::AddLinearRows(const CorpusVectoriser& vectoriser, double averageDocLength,
                                   const std::vector<std::size_t>& documents, std::size_t c,
                                   LinearRows* rows, std::size_t* withoutFeatures) const {
  std::vector<Feature> features;
  ContentWords content;
  std::size_t added = 0;
  for (std::size_t i : documents) {
    vectoriser.Vectorise(corpus_.documents[i], averageDocLength, &features, &content);
    if (features.empty()) {
      ++*withoutFeatures;
      continue;
    }
    rows->Add(features, static_cast<double>(c + 1));
    ++added;
  }
  return added;
}

namespace {

Status ClassWithoutRows(const std::string& name) {
  return Status(Status::Code::kInvalidArgument,
                "class \"" + name + "\" has no document with a selected word");
}

}  // namespace

Status Trainer::BuildProblem(const CorpusVectoriser& vectoriser, double averageDocLength,
                             const std::vector<std::size_t>* documents, bool forLiblinear,
                             bool everyClass, Problem* problem) const {
  const std::size_t classes = corpus_.classNamesUtf8.size();
  const std::vector<std::vector<std::size_t>> byClass = DocumentsByClass(documents);
  if (forLiblinear) ReserveLinearRows(byClass, &problem->linear);
  std::vector<Feature> features;
  const std::vector<std::size_t> none;  // libsvm's rows, when liblinear's are built
  for (std::size_t c = 0; c < classes; ++c) {
    std::size_t rowsOfClass = 0;
    if (forLiblinear) {
      rowsOfClass = AddLinearRows(vectoriser, averageDocLength, byClass[c], c, &problem->linear,
                                  &problem->documentsWithoutFeatures);
    }
    for (std::size_t i : forLiblinear ? none : byClass[c]) {
      ContentWords content;
      vectoriser.Vectorise(corpus_.documents[i], averageDocLength, &features, &content);
      if (features.empty()) {
        ++problem->documentsWithoutFeatures;
        continue;
      }
      ++rowsOfClass;
      const double label = static_cast<double>(c + 1);
      std::vector<svm_node> row;
      row.reserve(features.size() + 1);
      for (const Feature& feature : features) row.push_back({feature.index, feature.value});
      row.push_back({-1, 0.0});
      problem->rows.push_back(std::move(row));
      problem->labels.push_back(label);
      problem->documents.push_back(i);
      problem->contentWords.push_back(content);
    }
    if (rowsOfClass == 0 && everyClass) return ClassWithoutRows(corpus_.classNamesUtf8[c]);
  }
  problem->linear.Finish();
  for (auto& row : problem->rows) problem->pointers.push_back(row.data());
  problem->problem.l = static_cast<int>(problem->rows.size());
  problem->problem.y = problem->labels.data();
  problem->problem.x = problem->pointers.data();
  return Status::Ok();
}

svm_parameter Trainer::Parameter(double cost, double weightPower, bool probability) {
  svm_parameter parameter{};
  if (weightPower != 0.0 || !options_.classWeights.empty()) {
    weightLabels_.clear();
    weights_ = ClassWeights(weightPower);
    for (std::size_t c = 0; c < weights_.size(); ++c) {
      weightLabels_.push_back(static_cast<int>(c + 1));
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

std::vector<RankedUnit> Trainer::RankContentUnits(const FeatureStatistics& statistics,
                                                  std::size_t* stopped) const {
  // Only what the set reads is a candidate.
  const FeatureStatistics::UnitFilter read = [this](std::string_view unit) { return FeatureSetReads(reads_, unit); };
  std::vector<RankedUnit> ranking = options_.ranking == RankingOrder::kClassTurns
                                        ? statistics.RankByClassTurns(options_.minDocumentFrequency, read)
                                        : statistics.Rank(options_.minDocumentFrequency, read);
  const std::size_t before = ranking.size();
  if (!options_.stopWords.empty()) {
    ranking.erase(std::remove_if(ranking.begin(), ranking.end(),
                                 [this](const RankedUnit& unit) {
                                   return options_.stopWords.Stops(unit.unit);
                                 }),
                  ranking.end());
  }
  if (stopped != nullptr) *stopped = before - ranking.size();
  return ranking;
}

Status Trainer::PrepareFold(const Fold& fold, std::size_t k, Problem* training,
                            Problem* heldOut) const {
  // Words are selected inside each fold from its training part alone, so
  // the held-out documents play no part in choosing their own features.
  // Each fold's statistics are counted once and its ranking made once for
  // each candidate of what the set reads, whatever the k asked for.
  FoldSelection* selection;
  {
    std::lock_guard<std::mutex> lock(foldSelectionsMutex_);
    std::unique_ptr<FoldSelection>& slot = foldSelections_[&fold];
    if (slot == nullptr) slot = std::make_unique<FoldSelection>();
    selection = slot.get();
  }
  SourceFileContents contents;
  {
    std::lock_guard<std::mutex> lock(selection->mutex);
    if (selection->statistics == nullptr) {
      selection->statistics =
          std::make_unique<FeatureStatistics>(corpus_, options_.synonyms, &fold.trainingDocuments);
    }
    if (!selection->ranked || !(selection->rankedFor == reads_)) {
      selection->ranking = RankContentUnits(*selection->statistics, nullptr);
      selection->rankedFor = reads_;
      selection->ranked = true;
    }
    contents = BuildResourceContents(*selection->statistics, selection->ranking, k, options_.vocabulary,
                                     corpus_.classNamesGbk);
  }
  const CorpusVectoriser vectoriser(corpus_, contents, reads_);
  const double averageDocLength = vectoriser.AverageKnownWords(&fold.trainingDocuments);
  if (averageDocLength == 0.0) {
    return Status(Status::Code::kInvalidArgument, "no training document holds a vocabulary word");
  }
  // A fold whose training part lacks a class still predicts its held-out
  // documents, with the classes it has.
  if (training != nullptr) {
    BuildProblem(vectoriser, averageDocLength, &fold.trainingDocuments, UsesLinearSolver(), false,
                 training);
  }
  BuildProblem(vectoriser, averageDocLength, &fold.heldOutDocuments, false, false, heldOut);
  return Status::Ok();
}

unsigned Trainer::Jobs() const {
  return options_.jobs != 0 ? options_.jobs : std::max(1u, std::thread::hardware_concurrency());
}

bool Trainer::UsesLinearSolver() const {
  return options_.kernelType == LINEAR && options_.solver != Solver::kLibsvm;
}

std::vector<double> Trainer::ClassWeights(double weightPower) const {
  if (weightPower == 0.0 && options_.classWeights.empty()) return {};
  std::vector<std::size_t> perClass = corpus_.DocumentsPerClass();
  std::vector<double> weights;
  for (std::size_t count : perClass) {
    weights.push_back(std::pow(static_cast<double>(corpus_.documents.size()) /
                                   (static_cast<double>(perClass.size()) *
                                    static_cast<double>(count)),
                               weightPower));
  }
  for (const auto& [name, factor] : options_.classWeights) {
    for (std::size_t c = 0; c < weights.size() && c < corpus_.classNamesUtf8.size(); ++c) {
      if (corpus_.classNamesUtf8[c] == name) weights[c] *= factor;
    }
  }
  return weights;
}

Status Cancelled() { return Status(Status::Code::kCancelled, kCancelledMessage); }

Status LibsvmRejects(const char* message) {
  return Status(Status::Code::kInvalidArgument, std::string("libsvm rejects the parameters: ") + message);
}

void FoldFaults::Set(std::size_t fold, Status status) {
  if (!status.ok()) failed_ = true;
  faults_[fold] = std::move(status);
}

Status FoldFaults::Outcome(bool finished) const {
  for (const Status& fault : faults_) {
    if (!fault.ok()) return fault;
  }
  return finished ? Status::Ok() : Cancelled();
}

std::vector<const svm_node*> RowPointers(const std::vector<std::vector<svm_node>>& rows) {
  std::vector<const svm_node*> pointers;
  pointers.reserve(rows.size());
  for (const auto& row : rows) pointers.push_back(row.data());
  return pointers;
}

// Trains the points (power, cost) on each fold's rows at k and predicts its
// held-out documents: (*predicted)[point][document], 0 for a document
// without a feature.  At most `jobs` folds are built at once.
Status Trainer::CrossValidatePoints(const std::vector<Fold>& folds, std::size_t k,
                                    const std::vector<std::pair<double, double>>& points,
                                    const std::function<bool(const Step&)>& report,
                                    std::vector<std::vector<double>>* predicted) {
  const std::size_t classes = corpus_.classNamesUtf8.size();
  predicted->assign(points.size(), std::vector<double>(corpus_.documents.size(), 0.0));
  // The answers of fold f at every point, each into its held-out documents' places.
  auto answerFold = [&](std::size_t f, const auto& step) -> Status {
    if (parts_ && !parts_->Computes(f)) return Status::Ok();
    Problem training, heldOut;
    if (Status prepared = PrepareFold(folds[f], k, &training, &heldOut); !prepared.ok()) {
      return prepared;
    }
    for (std::size_t p = 0; p < points.size(); ++p) {
      const auto [power, cost] = points[p];
      if (!step(Step{f, k, cost, power, p})) return Status::Ok();
      if (UsesLinearSolver()) {
        if (training.linear.empty()) continue;
        const LinearModel model = TrainLinear(training.linear, classes, options_.solver,
                                              options_.multiclass, cost, ClassWeights(power),
                                              options_.seed);
        const std::vector<std::vector<double>> decisions =
            model.PairDecisionRows(RowPointers(heldOut.rows));
        for (std::size_t r = 0; r < heldOut.rows.size(); ++r) {
          (*predicted)[p][heldOut.documents[r]] =
              static_cast<double>(VotedClass(decisions[r], classes) + 1);
        }
        continue;
      }
      if (training.rows.empty()) continue;
      svm_parameter parameter = Parameter(cost, power, false);
      if (const char* message = svm_check_parameter(&training.problem, &parameter)) {
        return LibsvmRejects(message);
      }
      svm_model* model = svm_train(&training.problem, &parameter);
      for (std::size_t r = 0; r < heldOut.rows.size(); ++r) {
        (*predicted)[p][heldOut.documents[r]] = svm_predict(model, heldOut.rows[r].data());
      }
      svm_free_and_destroy_model(&model);
    }
    return Status::Ok();
  };

  FoldFaults faults(folds.size());
  // libsvm's parameters live in this object: its folds take turns.
  const unsigned jobs = UsesLinearSolver() ? options_.jobs : 1;
  const bool finished = RunFolds<Step>(
      folds.size(), jobs,
      [&](std::size_t f, const auto& step) { faults.Set(f, answerFold(f, step)); },
      [&](const Step& step) { return faults.AnyFailed() || report(step); });
  return faults.Outcome(finished);
}

Status Trainer::TrainPairsOfClasses(const CorpusVectoriser& vectoriser, double averageDocLength,
                                    const GridPoint& point, std::size_t* withoutFeatures,
                                    LinearModel* model) const {
  const std::vector<std::vector<std::size_t>> byClass = DocumentsByClass(nullptr);
  std::vector<bool> counted(byClass.size(), false);
  // Each class's documents without a feature count once, however many
  // pairs it is in.
  auto addClass = [&](std::size_t c, LinearRows* rows) {
    std::size_t without = 0;
    const std::size_t added =
        AddLinearRows(vectoriser, averageDocLength, byClass[c], c, rows, &without);
    if (!counted[c]) *withoutFeatures += without;
    counted[c] = true;
    return added == 0 ? ClassWithoutRows(corpus_.classNamesUtf8[c]) : Status::Ok();
  };
  // Each pair's share of the work is taken as its share of the rows.
  const std::size_t classes = byClass.size();
  const double pairRows = static_cast<double>((classes - 1) * corpus_.documents.size());
  double rowsDone = 0.0;
  std::size_t pair = 0;
  const auto started = std::chrono::steady_clock::now();
  return TrainLinearPairs(
      [&](std::size_t i, std::size_t j, LinearRows* rows) {
        if (progress_) {
          std::string line = "training the model: k=" + std::to_string(point.features) +
                             " C=" + FormatCost(point.cost) + ", pair " + std::to_string(++pair) +
                             "/" + std::to_string(classes * (classes - 1) / 2);
          const double seconds =
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
          if (rowsDone > 0.0) {
            line += "; about " +
                    std::to_string(static_cast<long>(seconds * (pairRows / rowsDone - 1.0) + 0.5)) +
                    " s left";
          }
          progress_->Status(line);
        }
        if (Stopped("training", rowsDone / pairRows, 1.0)) return Cancelled();
        rowsDone += static_cast<double>(byClass[i].size() + byClass[j].size());
        ReserveLinearRows({byClass[i], byClass[j]}, rows);
        if (Status added = addClass(i, rows); !added.ok()) return added;
        if (Status added = addClass(j, rows); !added.ok()) return added;
        rows->Finish();
        return Status::Ok();
      },
      byClass.size(), options_.solver, point.cost, ClassWeights(point.weightPower), options_.seed,
      model);
}

Status Trainer::SaveLinearModel(const LinearModel& linear, const std::string& modelPath,
                                TrainingReport* report) const {
  LibsvmLinearModel model(linear, probA_, probB_);
  if (Status saved = model.Save(modelPath); !saved.ok()) return saved;
  report->supportVectors = model.model()->l;
  return Status::Ok();
}

namespace {

// Accuracy and macro-F1 of cross-validated predictions; a document without
// a prediction (label 0) counts as wrong.
// Only the documents listed count, when a list is given.
void Score(const Corpus& corpus, const std::vector<double>& predicted, GridPoint* point,
           const std::vector<std::size_t>* documents = nullptr) {
  const std::size_t classes = corpus.classNamesUtf8.size();
  std::vector<double> truePositive(classes), predictedCount(classes), actual(classes);
  std::size_t correct = 0;
  const std::size_t count = documents != nullptr ? documents->size() : predicted.size();
  for (std::size_t n = 0; n < count; ++n) {
    const std::size_t i = documents != nullptr ? (*documents)[n] : n;
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
  point->accuracy = static_cast<double>(correct) / static_cast<double>(count);
  point->macroF1 = f1Sum / static_cast<double>(classes);
}

// Whether the final model at k would have a row of every class: some
// document of each class holds a selected word.
// The first class (index) without a document that holds one of the top k
// units' words, or the number of classes when every class has one.
std::size_t ClassWithoutSelectedWord(const Corpus& corpus, const FeatureStatistics& statistics,
                                     const std::vector<RankedUnit>& ranking, std::size_t k) {
  const std::vector<std::string>& words = corpus.distinctWords;
  std::vector<bool> selected(words.size(), false);
  for (std::size_t i = 0; i < k && i < ranking.size(); ++i) {
    for (const auto& member : statistics.Members(ranking[i].unit)) {
      auto it = std::lower_bound(words.begin(), words.end(), member);
      if (it != words.end() && *it == member) selected[it - words.begin()] = true;
    }
  }
  std::vector<bool> holds(corpus.classNamesUtf8.size(), false);
  for (const auto& document : corpus.documents) {
    if (holds[document.classIndex]) continue;
    for (const WordCount& count : document.counts) {
      if (selected[count.word]) {
        holds[document.classIndex] = true;
        break;
      }
    }
  }
  return static_cast<std::size_t>(std::find(holds.begin(), holds.end(), false) - holds.begin());
}

}  // namespace

Status Trainer::TrainModel(Problem& problem, double cost, double weightPower,
                           const std::string& modelPath, TrainingReport* report) {
  svm_parameter parameter = Parameter(cost, weightPower, true);
  if (const char* message = svm_check_parameter(&problem.problem, &parameter)) {
    return LibsvmRejects(message);
  }
  svm_model* model = nullptr;
  {
    SeededRand seeded(options_.seed);  // the probability estimates' folds
    model = svm_train(&problem.problem, &parameter);
  }
  const int classes = static_cast<int>(corpus_.classNamesUtf8.size());
  bool labelsInOrder = svm_get_nr_class(model) == classes;
  if (labelsInOrder) {
    std::vector<int> labels(classes);
    svm_get_labels(model, labels.data());
    for (int i = 0; i < classes; ++i) labelsInOrder = labelsInOrder && labels[i] == i + 1;
  }
  Status outcome;
  if (!labelsInOrder) {
    outcome = Status(Status::Code::kInvalidArgument, "the model's class labels are not 1.." +
                                                         std::to_string(classes) + " in order; nothing written");
  } else if (svm_check_probability_model(model) == 0) {
    outcome = Status(Status::Code::kInvalidArgument,
                     "the model holds no probability information; nothing written");
  } else {
    outcome = SaveSvmModel(modelPath, model);
  }
  report->supportVectors = model->l;
  svm_free_and_destroy_model(&model);
  return outcome;
}

Status Trainer::Train(const std::string& prefix, TrainingReport* report) {
  auto invalid = [](const std::string& message) {
    return Status(Status::Code::kInvalidArgument, message);
  };
  *report = TrainingReport();
  report->documents = corpus_.documents.size();
  report->classes = corpus_.classNamesUtf8.size();
  if (report->classes < 2) {
    return invalid(corpus_.path + ": one class only (\"" + corpus_.classNamesUtf8[0] +
                   "\"); a model needs two or more");
  }
  if (Status checked = CheckClassNames(corpus_); !checked.ok()) return checked;
  if (options_.featureCounts.empty() || options_.costs.empty() ||
      options_.classWeightPowers.empty() || options_.folds < 2) {
    return invalid("the grid needs a feature count, a cost, a class weighting and at least two folds");
  }
  for (const auto& weighted : options_.classWeights) {
    if (std::find(corpus_.classNamesUtf8.begin(), corpus_.classNamesUtf8.end(), weighted.first) ==
        corpus_.classNamesUtf8.end()) {
      return invalid("a class weight names the class \"" + weighted.first +
                     "\", which the corpus does not hold");
    }
  }
  if (static_cast<std::size_t>(options_.folds) > corpus_.documents.size()) {
    return invalid("more folds (" + std::to_string(options_.folds) + ") than documents (" +
                   std::to_string(corpus_.documents.size()) + ")");
  }

  if (Status opened = SearchParts::Open(corpus_, options_, &parts_); !opened.ok()) return opened;
  if (Stopped("features", 0, 1)) return Cancelled();

  // Stop words never enter a ranking, so no fold and no final model holds one.
  FeatureStatistics statistics(corpus_, options_.synonyms);
  if (Stopped("features", 1, 1)) return Cancelled();

  std::vector<Fold> folds = SplitIntoFolds(
      AssignFolds(corpus_, options_.folds, options_.seed, options_.searchDocuments), options_.folds);
  searchedDocuments_.clear();
  for (const Fold& fold : folds) {
    searchedDocuments_.insert(searchedDocuments_.end(), fold.heldOutDocuments.begin(),
                              fold.heldOutDocuments.end());
  }
  report->searchedDocuments = searchedDocuments_.size();
  if (searchedDocuments_.size() == corpus_.documents.size()) searchedDocuments_.clear();

  // Each candidate of what the set reads is searched in turn; the first of
  // equal accuracy wins.
  GridPoint best;
  best.accuracy = -1.0;
  Status searched = invalid("no content word occurs in " + std::to_string(options_.minDocumentFrequency) +
                            " or more documents");
  foldSelections_.clear();
  std::vector<std::vector<RankedUnit>> searchedRankings;
  // A held-out calibration takes one point: the first candidate.
  const std::size_t candidates = options_.heldOut ? 1 : options_.featureSets.size();
  for (std::size_t c = 0; c < candidates; ++c) {
    const FeatureSet& candidate = options_.featureSets[c];
    reads_ = candidate;
    std::vector<RankedUnit> ranking = RankContentUnits(statistics, nullptr);
    // A corpus without runs of characters gives some candidates the same
    // units as another: searched once.
    const bool searchedAlready =
        std::any_of(searchedRankings.begin(), searchedRankings.end(), [&ranking](const auto& other) {
          return std::equal(ranking.begin(), ranking.end(), other.begin(), other.end(),
                            [](const RankedUnit& a, const RankedUnit& b) { return a.unit == b.unit; });
        });
    if (ranking.empty() || searchedAlready) continue;
    searchedRankings.push_back(std::move(ranking));
    const std::vector<RankedUnit>& units = searchedRankings.back();
    GridPoint point;
    const Status status = options_.heldOut ? OnlyPoint(statistics, units, &point)
                                           : SearchGrid(statistics, units, folds, &point, report);
    if (status.code() == Status::Code::kCancelled) return status;
    if (!status.ok()) {
      if (!searched.ok()) searched = status;
      continue;
    }
    searched = status;
    point.reads = candidate;
    if (point.accuracy > best.accuracy) best = point;
  }
  // A share's faults go into its results, for the run that takes them.
  if (parts_) {
    if (Status finished = parts_->Finish(prefix); !finished.ok() || parts_->computing()) return finished;
  }
  if (!searched.ok()) return searched;
  reads_ = best.reads;
  std::vector<RankedUnit> ranking = RankContentUnits(statistics, &report->stoppedUnits);
  report->rankedUnits = ranking.size();
  if (options_.heldOut) folds.resize(1);
  Status calibrated = CalibrateConfidence(folds, &best, report);
  foldSelections_.clear();
  if (!calibrated.ok()) return calibrated;
  return TrainFinalModel(prefix, statistics, ranking, best, report);
}

bool Trainer::Stopped(const char* stage, double done, double total) const {
  return progress_ != nullptr && progress_->Advance(stage, done, total);
}

// Cross-validates every point of the grid (k, class weighting, cost) and
// chooses the best into *best.
Status Trainer::SearchGrid(const FeatureStatistics& statistics,
                           const std::vector<RankedUnit>& ranking, const std::vector<Fold>& folds,
                           GridPoint* chosen, TrainingReport* report) {
  auto invalid = [](const std::string& message) {
    return Status(Status::Code::kInvalidArgument, message);
  };
  std::set<std::size_t> featureCounts;
  for (std::size_t k : options_.featureCounts) {
    featureCounts.insert(k == 0 || k > ranking.size() ? ranking.size() : k);
  }
  std::set<double> costs(options_.costs.begin(), options_.costs.end());
  std::set<double> powers(options_.classWeightPowers.begin(), options_.classWeightPowers.end());
  std::vector<std::pair<double, double>> points;
  for (double power : powers) {
    for (double cost : costs) points.emplace_back(power, cost);
  }

  // Each fold is built once for each k and trains every point of the grid;
  // the units of work are the trainings, folds times points.
  const std::size_t gridSize = featureCounts.size() * points.size();
  const std::size_t units = gridSize * folds.size();
  std::size_t started = 0;
  std::size_t pass = 0;
  const unsigned threads = UsesLinearSolver() ? Jobs() : 1;
  std::vector<double> passWeights;
  for (std::size_t k : featureCounts) {
    double values = 0.0;
    for (std::size_t i = 0; i < k && i < ranking.size(); ++i) {
      values += static_cast<double>(ranking[i].documentFrequency);
    }
    passWeights.push_back(passWeights.empty() ? values : values / passWeights.front());
  }
  if (!passWeights.empty()) passWeights.front() = 1.0;
  const bool calibrationTakesTurns =
      !UsesLinearSolver() || SolverDrawsFromRand(options_.solver);
  GridClock clock(folds.size(), points.size(), passWeights, threads,
                  calibrationTakesTurns ? 1 : threads);
  auto reportStep = [&](const Step& step) {
    ++started;
    clock.Start(step.fold, pass, step.point);
    if (progress_) {
      std::string line = "cross-validation " + std::to_string(started) + "/" +
                         std::to_string(units) + ": k=" + std::to_string(step.features) +
                         " C=" + FormatCost(step.cost);
      if (powers.size() > 1) line += " w=" + FormatCost(step.weightPower);
      if (options_.featureSets.size() > 1) line += " " + FeatureSetName(reads_);
      line += " fold " + std::to_string(step.fold + 1) + "/" + std::to_string(folds.size());
      const double left = clock.SecondsLeft();
      if (left >= 0.0) {
        line += "; about " + std::to_string(static_cast<long>(left + 0.5)) + " s left";
      }
      progress_->Status(line);
    }
    return Stopped("cross-validation", static_cast<double>(started - 1),
                   static_cast<double>(units));
  };

  // Smaller k, weighting power and C win ties: the simpler model of equal
  // accuracy.
  GridPoint& best = *chosen;
  best.accuracy = -1.0;
  std::vector<std::vector<double>> predicted;
  for (std::size_t k : featureCounts) {
    if (const std::size_t lacking = ClassWithoutSelectedWord(corpus_, statistics, ranking, k);
        lacking < corpus_.classNamesUtf8.size()) {
      report->skippedFeatureCounts.push_back(k);
      report->skippedForClass.push_back(corpus_.classNamesUtf8[lacking]);
      started += points.size() * folds.size();
      ++pass;
      continue;
    }
    if (parts_) parts_->BeginPass(reads_, k, ranking.size());
    const Status done = parts_ && !parts_->computing()
                            ? parts_->Fill(folds, points, &predicted)
                            : CrossValidatePoints(folds, k, points, reportStep, &predicted);
    if (parts_ && parts_->computing()) parts_->Keep(folds, points, predicted, done);
    if (!done.ok()) return done;
    ++pass;
    for (std::size_t p = 0; p < points.size(); ++p) {
      GridPoint point{k, points[p].second, points[p].first, 0.0, 0.0, reads_};
      Score(corpus_, predicted[p], &point,
            searchedDocuments_.empty() ? nullptr : &searchedDocuments_);
      report->grid.push_back(point);
      if (point.accuracy > best.accuracy) best = point;
    }
    if (progress_ && !report->grid.empty()) {
      progress_->Status("cross-validation: best " + FormatPercent(best.accuracy) + " at k=" +
                        std::to_string(best.features) + " C=" + FormatCost(best.cost));
    }
  }
  predicted = {};
  if (Stopped("cross-validation", static_cast<double>(units), static_cast<double>(units))) {
    return Cancelled();
  }

  if (report->grid.empty()) {
    return invalid("no grid point could be cross-validated: every k left a class without a "
                   "document that holds a selected word (at k=" +
                   std::to_string(report->skippedFeatureCounts.back()) + ", class \"" +
                   report->skippedForClass.back() + "\")");
  }

  return Status::Ok();
}

Status Trainer::OnlyPoint(const FeatureStatistics& statistics,
                          const std::vector<RankedUnit>& ranking, GridPoint* point) const {
  std::set<std::size_t> featureCounts;
  for (std::size_t k : options_.featureCounts) {
    featureCounts.insert(k == 0 || k > ranking.size() ? ranking.size() : k);
  }
  const std::set<double> costs(options_.costs.begin(), options_.costs.end());
  const std::set<double> powers(options_.classWeightPowers.begin(),
                                options_.classWeightPowers.end());
  if (featureCounts.size() != 1 || costs.size() != 1 || powers.size() != 1) {
    return Status(Status::Code::kInvalidArgument,
                  "a held-out calibration takes one point: one feature count, one cost and one "
                  "class weighting");
  }
  point->features = *featureCounts.begin();
  point->cost = *costs.begin();
  point->weightPower = *powers.begin();
  if (const std::size_t lacking = ClassWithoutSelectedWord(corpus_, statistics, ranking,
                                                           point->features);
      lacking < corpus_.classNamesUtf8.size()) {
    return Status(Status::Code::kInvalidArgument,
                  "at k=" + std::to_string(point->features) + " the class \"" +
                      corpus_.classNamesUtf8[lacking] + "\" has no document that holds a selected word");
  }
  return Status::Ok();
}

// The confidence threshold: cross-validated probabilities at the chosen
// point, each document's confidence as a classification computes it.  With
// a held-out calibration the one fold's held-out documents give the
// threshold and the point's accuracy.
Status Trainer::CalibrateConfidence(const std::vector<Fold>& folds, GridPoint* chosen,
                                    TrainingReport* report) {
  const GridPoint& best = *chosen;
  // The linear solvers go over the folds twice: scores, then probabilities.
  const double calibrationUnits =
      static_cast<double>((UsesLinearSolver() ? 2 : 1) * folds.size());
  if (Stopped("calibration", 0, calibrationUnits)) return Cancelled();
  std::size_t calibrated = 0;
  auto reportCalibration = [&](const Step& step) {
    if (progress_) {
      progress_->Status("calibrating the confidence: k=" + std::to_string(best.features) +
                        " C=" + FormatCost(best.cost) + ", probability estimates on, fold " +
                        std::to_string(step.fold + 1) + "/" + std::to_string(folds.size()));
    }
    ++calibrated;
    return Stopped("calibration", static_cast<double>(calibrated - 1), calibrationUnits);
  };
  {
    std::vector<std::vector<double>> probabilities;
    std::vector<ContentWords> contentWords;
    std::vector<std::size_t> withFeatures;
    if (Status done = CrossValidateProbabilities(folds, best, reportCalibration, &probabilities,
                                                 &contentWords, &withFeatures);
        !done.ok()) {
      return done;
    }
    if (Stopped("calibration", calibrationUnits, calibrationUnits)) return Cancelled();
    std::vector<double> confidences;
    std::vector<double> predicted(corpus_.documents.size(), 0.0);  // class numbers; 0: none
    for (std::size_t document : withFeatures) {
      std::vector<double>& p = probabilities[document];
      predicted[document] = static_cast<double>(std::max_element(p.begin(), p.end()) - p.begin() + 1);
      std::sort(p.rbegin(), p.rend());
      confidences.push_back(
          AnswerConfidence(p, contentWords[document].words, contentWords[document].known));
    }
    // Documents without a selected word are unknown whatever the threshold.
    std::vector<std::size_t> heldOut;
    for (const Fold& fold : folds) {
      heldOut.insert(heldOut.end(), fold.heldOutDocuments.begin(), fold.heldOutDocuments.end());
    }
    const double withFeatureCount = static_cast<double>(confidences.size());
    const double all = static_cast<double>(heldOut.size());
    const double allowed = std::max(0.0, options_.unknownShare * all - (all - withFeatureCount));
    const double threshold = ThresholdFlagging(confidences, allowed / withFeatureCount);
    report->thresholdCapped = threshold > options_.highestThreshold;
    report->minConfidence = std::min(threshold, options_.highestThreshold);
    std::size_t flagged = heldOut.size() - confidences.size();
    for (double confidence : confidences) flagged += confidence < report->minConfidence;
    report->flaggedShare = static_cast<double>(flagged) / all;
    if (options_.heldOut) {
      Score(corpus_, predicted, chosen, &heldOut);
      report->grid = {*chosen};
    }
  }

  return Status::Ok();
}

// The model of the whole corpus at the chosen point, and the files of the
// set under prefix.
Status Trainer::TrainFinalModel(const std::string& prefix, const FeatureStatistics& statistics,
                                const std::vector<RankedUnit>& ranking, const GridPoint& best,
                                TrainingReport* report) {
  auto invalid = [](const std::string& message) {
    return Status(Status::Code::kInvalidArgument, message);
  };
  if (progress_) {
    progress_->Status("training the model: k=" + std::to_string(best.features) +
                      " C=" + FormatCost(best.cost) + ", probability estimates on");
  }
  if (Stopped("training", 0, 1)) return Cancelled();
  SourceFileContents contents = BuildResourceContents(statistics, ranking, best.features,
                                                      options_.vocabulary,
                                                      corpus_.classNamesGbk);
  // The last word of the vocabulary tells every reader of the set that it
  // reads runs of characters, and which.
  if (reads_.characters()) {
    contents.vocabulary.push_back(FeatureSetRecord(reads_));
    contents.idf.emplace_back(contents.vocabulary.back(), 1.0);
  }
  // One pair of classes' rows at a time, where the model is one of pairs:
  // a large corpus's rows all at once would take twice the memory.
  const bool byPairs = UsesLinearSolver() && options_.multiclass == Multiclass::kOneVsOne;
  Problem problem;
  LinearModel pairs;
  {
    const CorpusVectoriser vectoriser(corpus_, contents, reads_);
    contents.averageDocLength = vectoriser.AverageKnownWords(nullptr);
    if (contents.averageDocLength == 0.0) return invalid("no training document holds a vocabulary word");
    if (Status written = WriteSourceFile(prefix + kSourceFileName, contents); !written.ok()) {
      return written;
    }
    const Status built =
        byPairs ? TrainPairsOfClasses(vectoriser, contents.averageDocLength, best,
                                      &problem.documentsWithoutFeatures, &pairs)
                : BuildProblem(vectoriser, contents.averageDocLength, nullptr, UsesLinearSolver(),
                               true, &problem);
    if (!built.ok()) return built;
  }
  const std::string modelPath = prefix + kModelFileName;
  const Status modelWritten =
      byPairs ? SaveLinearModel(pairs, modelPath, report)
      : UsesLinearSolver()
          ? SaveLinearModel(TrainLinear(problem.linear, corpus_.classNamesUtf8.size(), options_.solver,
                                        options_.multiclass, best.cost,
                                        ClassWeights(best.weightPower), options_.seed),
                            modelPath, report)
          : TrainModel(problem, best.cost, best.weightPower, modelPath, report);
  if (!modelWritten.ok()) return modelWritten;
  // Kernel parameters whose numbers overflow (a polynomial of a huge gamma)
  // train a model of NaN, which answers every document alike.
  if (Status usable = CheckModelFile(prefix + kModelFileName); !usable.ok()) {
    return invalid("the trained model cannot be used: " + usable.message() +
                   "; the kernel's parameters (gamma, coef0, degree) make its numbers overflow");
  }

  if (Status written = WriteConfidenceFile(prefix, ConfidenceSettings{report->minConfidence});
      !written.ok()) {
    return written;
  }
  if (Stopped("training", 1, 1)) return Cancelled();

  report->selectedUnits = best.features;
  report->reads = best.reads;
  report->cost = best.cost;
  report->weightPower = best.weightPower;
  report->crossValidationAccuracy = best.accuracy;
  report->crossValidationMacroF1 = best.macroF1;
  {
    const std::vector<std::size_t> perClass = corpus_.DocumentsPerClass();
    report->chanceAccuracy = static_cast<double>(*std::max_element(perClass.begin(), perClass.end())) /
                             static_cast<double>(corpus_.documents.size());
  }
  report->vocabularyWords = contents.vocabulary.size();
  report->termMapWords = contents.termMap.size();
  report->averageDocLength = contents.averageDocLength;
  report->documentsWithoutFeatures = problem.documentsWithoutFeatures;
  return Status::Ok();
}

}  // namespace wenlei
