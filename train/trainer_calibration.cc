// The calibration of a trained set: each training document's
// cross-validated probabilities at the chosen point, and the confidence
// threshold chosen on them.

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "decide/confidence.h"
#include "predict/linear_predictor.h"
#include "train/fold_runner.h"
#include "train/platt.h"
#include "train/seeded_rand.h"
#include "train/trainer.h"
#include "train/trainer_internal.h"

namespace wenlei {

// Each document's probabilities at the chosen point, from the model of the
// fold that held it out, with its content words: what the confidence
// threshold is chosen on.  For the linear solvers each pair's sigmoid is
// fitted on the cross-validated pair decisions first (into probA_, probB_).
Status Trainer::CrossValidateProbabilities(const std::vector<Fold>& folds, const GridPoint& point,
                                           const std::function<bool(const Step&)>& report,
                                           std::vector<std::vector<double>>* probabilities,
                                           std::vector<ContentWords>* contentWords,
                                           std::vector<std::size_t>* withFeatures) {
  const std::size_t classes = corpus_.classNamesUtf8.size();
  const std::size_t documents = corpus_.documents.size();
  probabilities->assign(documents, {});
  contentWords->assign(documents, ContentWords());
  std::vector<std::vector<double>> pairDecisions(documents);
  std::vector<LinearModel> foldModels(folds.size());
  std::vector<std::vector<std::size_t>> rowDocuments(folds.size());
  // One fold held out keeps its rows for the probabilities; more folds
  // build them again there, holding one fold's rows at a time instead of
  // the whole corpus's.
  std::vector<Problem> keptHeldOut(folds.size() == 1 ? 1 : 0);
  // Fold f's held-out documents: their pair decisions (the linear solvers)
  // or probabilities (libsvm) from the model of f's training documents.
  auto predictFold = [&](std::size_t f, const auto& step) -> Status {
    Problem training, heldOut;
    if (Status prepared = PrepareFold(folds[f], point.features, &training, &heldOut);
        !prepared.ok()) {
      return prepared;
    }
    if (!step(Step{f, point.features, point.cost, point.weightPower})) return Status::Ok();
    rowDocuments[f] = heldOut.documents;
    for (std::size_t r = 0; r < heldOut.rows.size(); ++r) {
      (*contentWords)[heldOut.documents[r]] = heldOut.contentWords[r];
    }
    if (UsesLinearSolver()) {
      if (training.linear.empty()) return Status::Ok();
      foldModels[f] = TrainLinear(training.linear, classes, options_.solver,
                                  options_.multiclass, point.cost,
                                  ClassWeights(point.weightPower), options_.seed);
      std::vector<std::vector<double>> rowDecisions =
          foldModels[f].PairDecisionRows(RowPointers(heldOut.rows));
      for (std::size_t r = 0; r < heldOut.rows.size(); ++r) {
        pairDecisions[heldOut.documents[r]] = std::move(rowDecisions[r]);
      }
      if (!keptHeldOut.empty()) keptHeldOut[f] = std::move(heldOut);
      return Status::Ok();
    }
    if (training.rows.empty()) return Status::Ok();
    svm_parameter parameter = Parameter(point.cost, point.weightPower, true);
    if (const char* message = svm_check_parameter(&training.problem, &parameter)) {
      return LibsvmRejects(message);
    }
    svm_model* model = nullptr;
    {
      SeededRand seeded(options_.seed);  // the probability estimates' folds
      model = svm_train(&training.problem, &parameter);
    }
    std::vector<int> labels(svm_get_nr_class(model));
    svm_get_labels(model, labels.data());
    std::vector<double> byLabel(labels.size());
    for (std::size_t r = 0; r < heldOut.rows.size(); ++r) {
      svm_predict_probability(model, heldOut.rows[r].data(), byLabel.data());
      std::vector<double>& p = (*probabilities)[heldOut.documents[r]];
      p.assign(classes, 0.0);
      for (std::size_t j = 0; j < labels.size(); ++j) p[labels[j] - 1] = byLabel[j];
    }
    svm_free_and_destroy_model(&model);
    return Status::Ok();
  };
  FoldFaults faults(folds.size());
  const unsigned jobs = UsesLinearSolver() ? options_.jobs : 1;
  const bool finished = RunFolds<Step>(
      folds.size(), jobs,
      [&](std::size_t f, const auto& step) { faults.Set(f, predictFold(f, step)); },
      [&](const Step& step) { return faults.AnyFailed() || report(step); });
  if (Status outcome = faults.Outcome(finished); !outcome.ok()) return outcome;
  withFeatures->clear();
  for (const auto& documentsOfFold : rowDocuments) {
    withFeatures->insert(withFeatures->end(), documentsOfFold.begin(), documentsOfFold.end());
  }
  if (!UsesLinearSolver()) return Status::Ok();

  probA_.clear();
  probB_.clear();
  // Each document weighs as its class's cost does.
  const std::vector<double> classWeights = ClassWeights(point.weightPower);
  std::size_t pair = 0;
  for (std::size_t i = 0; i < classes; ++i) {
    for (std::size_t j = i + 1; j < classes; ++j, ++pair) {
      std::vector<double> decisions, weights;
      std::vector<bool> positive;
      for (std::size_t d = 0; d < documents; ++d) {
        const auto truth = static_cast<std::size_t>(corpus_.documents[d].classIndex);
        if (pairDecisions[d].empty() || (truth != i && truth != j)) continue;
        decisions.push_back(pairDecisions[d][pair]);
        positive.push_back(truth == i);
        if (!classWeights.empty()) weights.push_back(classWeights[truth]);
      }
      const Sigmoid sigmoid = FitSigmoid(decisions, positive, weights);
      probA_.push_back(sigmoid.a);
      probB_.push_back(sigmoid.b);
    }
  }
  auto probabilitiesOfFold = [&](std::size_t f, const auto& step) -> Status {
    Problem built;
    if (keptHeldOut.empty()) {
      if (Status prepared = PrepareFold(folds[f], point.features, nullptr, &built);
          !prepared.ok()) {
        return prepared;
      }
    }
    const Problem& heldOut = keptHeldOut.empty() ? built : keptHeldOut[f];
    if (!step(Step{f, point.features, point.cost, point.weightPower})) return Status::Ok();
    if (foldModels[f].classes() != classes) return Status::Ok();
    LibsvmLinearModel model(foldModels[f], probA_, probB_);
    // libsvm's probabilities to the last bit, from each row's own features
    // rather than a pass over every weight of every pair.
    const std::unique_ptr<LinearPredictor> predictor =
        LinearPredictor::For(model.model(), std::numeric_limits<int>::max());
    for (std::size_t r = 0; r < heldOut.rows.size(); ++r) {
      std::vector<double>& p = (*probabilities)[heldOut.documents[r]];
      p.assign(classes, 0.0);
      if (predictor != nullptr) {
        predictor->PredictProbability(heldOut.rows[r].data(), p.data());
      } else {
        svm_predict_probability(model.model(), heldOut.rows[r].data(), p.data());
      }
    }
    foldModels[f] = LinearModel();
    return Status::Ok();
  };
  FoldFaults probabilityFaults(folds.size());
  const bool predicted = RunFolds<Step>(
      folds.size(), options_.jobs,
      [&](std::size_t f, const auto& step) {
        probabilityFaults.Set(f, probabilitiesOfFold(f, step));
      },
      [&](const Step& step) { return probabilityFaults.AnyFailed() || report(step); });
  return probabilityFaults.Outcome(predicted);
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

}  // namespace wenlei
