#include "train/linear_training.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "linear.h"
#include "train/seeded_rand.h"

namespace wenlei {
namespace {

void DiscardLiblinearOutput(const char*) {}

struct SolverEntry {
  Solver solver;
  const char* name;
  int liblinearType;
  // The stopping tolerance.  The dual solvers take 0.01, not liblinear's
  // 0.1: at 0.1 they stop before held-out answers settle (at 0.01 they are
  // those of 0.001), for about a quarter more training time.
  double epsilon;
  bool usesRand;      // the coordinate-descent solvers shuffle with rand()
  // Whether its result depends on the features of the rows alone: the dual
  // coordinate-descent solvers touch no other, so a pair of classes can
  // train on the fold's rows by pointer; the primal ones take norms over
  // every feature of the problem, whose last bits change with their number,
  // so a pair's rows are copied with features of their own.
  bool sharesRows;
};

constexpr SolverEntry kSolvers[] = {
    {Solver::kL2SvmDual, "l2-svm", L2R_L2LOSS_SVC_DUAL, 0.01, true, true},
    {Solver::kL2SvmPrimal, "l2-svm-primal", L2R_L2LOSS_SVC, 0.01, false, false},
    {Solver::kL1SvmDual, "l1-svm", L2R_L1LOSS_SVC_DUAL, 0.01, true, true},
    {Solver::kLogistic, "logistic", L2R_LR, 0.01, false, false},
    {Solver::kCrammerSinger, "crammer-singer", MCSVM_CS, 0.1, true, true},
    {Solver::kLibsvm, "libsvm", -1, 0.0, false, false},
};

const SolverEntry& EntryOf(Solver solver) {
  for (const auto& entry : kSolvers) {
    if (entry.solver == solver) return entry;
  }
  return kSolvers[0];
}

// liblinear prints through one global function, shared by every thread.
void QuietLiblinearOnce() {
  static std::once_flag once;
  std::call_once(once, [] { set_print_string_function(&DiscardLiblinearOutput); });
}

}  // namespace

bool ParseSolver(const std::string& name, Solver* solver) {
  for (const auto& entry : kSolvers) {
    if (name == entry.name) {
      *solver = entry.solver;
      return true;
    }
  }
  return false;
}

const char* SolverName(Solver solver) { return EntryOf(solver).name; }

bool SolverDrawsFromRand(Solver solver) { return EntryOf(solver).usesRand; }

void LinearRows::Finish() {
  for (std::size_t start : starts_) {
    feature_node* node = &nodes_[start];
    while (node->index != 0) ++node;
    node->index = largestFeature_ + 1;
  }
}

std::vector<feature_node*> LinearRows::Pointers() const {
  std::vector<feature_node*> pointers;
  pointers.reserve(starts_.size());
  // liblinear reads the rows only, through pointers to non-const nodes.
  for (std::size_t start : starts_) pointers.push_back(const_cast<feature_node*>(&nodes_[start]));
  return pointers;
}

namespace {

// Some of the rows of a LinearRows, by pointer, with their labels.
struct RowView {
  std::vector<feature_node*> pointers;
  std::vector<double> labels;
  int largestFeature = 0;  // the bias term's feature less one
};

RowView AllRows(const LinearRows& rows) {
  return {rows.Pointers(), rows.labels(), rows.largestFeature()};
}

LinearModel TrainOneVsRest(RowView rows, std::size_t classes, Solver solver, double cost,
                           const std::vector<double>& classWeights, unsigned seed) {
  const SolverEntry& entry = EntryOf(solver);
  const int features = rows.largestFeature;
  std::vector<feature_node*>& pointers = rows.pointers;
  std::vector<double>& y = rows.labels;
  problem prob{};
  prob.l = static_cast<int>(y.size());
  prob.n = features + 1;
  prob.y = y.data();
  prob.x = pointers.data();
  prob.bias = 1.0;

  // Weights of the classes the rows hold only: liblinear warns on standard
  // error about the others.
  std::vector<int> weightLabels;
  std::vector<double> weights;
  for (std::size_t c = 0; c < classWeights.size(); ++c) {
    const double label = static_cast<double>(c + 1);
    if (std::find(y.begin(), y.end(), label) == y.end()) continue;
    weightLabels.push_back(static_cast<int>(c + 1));
    weights.push_back(classWeights[c]);
  }
  parameter param{};
  param.solver_type = entry.liblinearType;
  param.eps = entry.epsilon;
  param.C = cost;
  param.nr_weight = static_cast<int>(weights.size());
  param.weight_label = weightLabels.data();
  param.weight = weights.data();
  param.p = 0.1;

  model* trained = nullptr;
  if (entry.usesRand) {
    SeededRand seeded(seed);
    trained = train(&prob, &param);
  } else {
    trained = train(&prob, &param);
  }

  LinearModel linear;
  linear.classCount = classes;
  linear.weights.assign(classes, {{-1, 0.0}});
  // A class the rows lack is never the best.
  linear.biases.assign(classes, -1e3);
  const int found = get_nr_class(trained);
  // Two classes give one weight vector, the first class's against the
  // second; each class gets half, so that the pair decides as liblinear does.
  const double share = found == 2 && solver != Solver::kCrammerSinger ? 0.5 : 1.0;
  if (found >= 2) {
    for (int k = 0; k < found; ++k) {
      const std::size_t c = static_cast<std::size_t>(trained->label[k] - 1);
      std::vector<svm_node>& w = linear.weights[c];
      w.clear();
      for (int f = 1; f <= features; ++f) {
        const double value = get_decfun_coef(trained, f, k);
        if (value != 0.0) w.push_back({f, share * value});
      }
      w.push_back({-1, 0.0});
      linear.biases[c] = share * get_decfun_bias(trained, k);
    }
  } else if (found == 1) {
    linear.biases[static_cast<std::size_t>(trained->label[0] - 1)] = 0.0;
  }
  free_and_destroy_model(&trained);
  return linear;
}

// The rows of classes i and j (0-based) alone, by pointer.
RowView PairView(const RowView& rows, std::size_t i, std::size_t j) {
  RowView pair;
  pair.largestFeature = rows.largestFeature;
  for (std::size_t r = 0; r < rows.labels.size(); ++r) {
    const double label = rows.labels[r];
    if (label != static_cast<double>(i + 1) && label != static_cast<double>(j + 1)) continue;
    pair.pointers.push_back(rows.pointers[r]);
    pair.labels.push_back(label);
  }
  return pair;
}

// The rows of classes i and j (0-based) alone, copied.
LinearRows PairRows(const LinearRows& rows, std::size_t i, std::size_t j) {
  LinearRows pair;
  const std::vector<feature_node*> pointers = rows.Pointers();
  std::vector<feature_node> features;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const double label = rows.labels()[r];
    if (label != static_cast<double>(i + 1) && label != static_cast<double>(j + 1)) continue;
    features.clear();
    // The row's features end where the bias term's begins.
    for (const feature_node* node = pointers[r];
         node->index > 0 && node->index <= rows.largestFeature(); ++node) {
      features.push_back(*node);
    }
    pair.Add(features, label);
  }
  pair.Finish();
  return pair;
}

// a - b of two sparse vectors closed by index -1.
std::vector<svm_node> Difference(const svm_node* a, const svm_node* b) {
  std::vector<svm_node> result;
  while (a->index != -1 || b->index != -1) {
    if (b->index == -1 || (a->index != -1 && a->index < b->index)) {
      result.push_back(*a++);
    } else if (a->index == -1 || b->index < a->index) {
      result.push_back({b->index, -b->value});
      ++b;
    } else {
      if (a->value != b->value) result.push_back({a->index, a->value - b->value});
      ++a;
      ++b;
    }
  }
  result.push_back({-1, 0.0});
  return result;
}

// One model per pair of classes, each trained on the rows that
// rowsOf(i, j, &holder) gives (holder keeps rows it builds alive).
template <typename RowsOfPair>
Status TrainPairs(std::size_t classes, Solver solver, double cost,
                  const std::vector<double>& classWeights, unsigned seed, RowsOfPair&& rowsOf,
                  LinearModel* model) {
  LinearModel linear;
  linear.multiclass = Multiclass::kOneVsOne;
  linear.classCount = classes;
  for (std::size_t i = 0; i < classes; ++i) {
    for (std::size_t j = i + 1; j < classes; ++j) {
      LinearRows holder;
      RowView pair;
      if (Status given = rowsOf(i, j, &holder, &pair); !given.ok()) return given;
      if (pair.labels.empty()) {
        linear.weights.push_back({{-1, 0.0}});
        linear.biases.push_back(0.0);
        continue;
      }
      // The two classes' scores from a model of these rows alone; the
      // pair decides by their difference (the half-vectors of a
      // two-class model add up to liblinear's own vector exactly).
      const LinearModel scores =
          TrainOneVsRest(std::move(pair), classes, solver, cost, classWeights, seed);
      linear.weights.push_back(Difference(scores.weights[i].data(), scores.weights[j].data()));
      linear.biases.push_back(scores.biases[i] - scores.biases[j]);
    }
  }
  *model = std::move(linear);
  return Status::Ok();
}

}  // namespace

LinearModel TrainLinear(const LinearRows& rows, std::size_t classes, Solver solver,
                        Multiclass multiclass, double cost,
                        const std::vector<double>& classWeights, unsigned seed) {
  QuietLiblinearOnce();
  if (multiclass == Multiclass::kOneVsRest) {
    return TrainOneVsRest(AllRows(rows), classes, solver, cost, classWeights, seed);
  }
  const RowView all = AllRows(rows);
  LinearModel linear;
  TrainPairs(classes, solver, cost, classWeights, seed,
             [&](std::size_t i, std::size_t j, LinearRows* holder, RowView* pair) {
               *pair = PairView(all, i, j);
               if (!EntryOf(solver).sharesRows && !pair->labels.empty()) {
                 *holder = PairRows(rows, i, j);
                 *pair = AllRows(*holder);
               }
               return Status::Ok();
             },
             &linear);
  return linear;
}

Status TrainLinearPairs(const PairRowsSource& rowsOf, std::size_t classes, Solver solver,
                        double cost, const std::vector<double>& classWeights, unsigned seed,
                        LinearModel* model) {
  QuietLiblinearOnce();
  return TrainPairs(classes, solver, cost, classWeights, seed,
                    [&](std::size_t i, std::size_t j, LinearRows* holder, RowView* pair) {
                      if (Status built = rowsOf(i, j, holder); !built.ok()) return built;
                      *pair = AllRows(*holder);
                      return Status::Ok();
                    },
                    model);
}

}  // namespace wenlei
