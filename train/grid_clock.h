#ifndef WENLEI_TRAIN_GRID_CLOCK_H_
#define WENLEI_TRAIN_GRID_CLOCK_H_

#include <chrono>
#include <cstddef>
#include <vector>

namespace wenlei {

// Estimates the time a cross-validation has left from how long each point
// of the grid took on the folds that have trained it: a point's training
// takes longer the larger its cost, so one mean over all points would
// promise too little while the small costs go by.
//
// A pass over a larger vocabulary takes longer: building a fold and
// training at a point cost about in proportion to the feature values of
// the rows.  Each pass therefore has a weight, its k's share of the values
// against the first pass's (the sum of the document frequencies of its
// selected units), and every time measured is kept per unit of weight.
class GridClock {
 public:
  // The calibration's folds run on calibrationThreads: its trainings take
  // turns where the solver shuffles with the C library's generator.
  GridClock(std::size_t folds, std::size_t points, std::vector<double> passWeights,
            std::size_t threads, std::size_t calibrationThreads);

  // A fold starts a point in a pass (one pass for each k).
  void Start(std::size_t fold, std::size_t pass, std::size_t point);

  // Seconds left for the grid, the calibration (each fold built twice more
  // and trained once) and the final model (built and trained from the whole
  // corpus); negative while no point has been timed.
  double SecondsLeft() const;

 private:
  struct Position {
    bool started = false;
    std::size_t pass = 0;
    std::size_t point = 0;
    std::chrono::steady_clock::time_point since;
  };
  std::vector<Position> folds_;
  std::vector<double> seconds_;
  std::vector<std::size_t> measured_;
  std::vector<double> weights_;  // of each pass
  double heaviest_ = 0.0;
  std::size_t threads_;
  std::size_t calibrationThreads_;
  std::chrono::steady_clock::time_point created_;
  double prepare_ = -1.0;  // seconds to build a fold
};

}  // namespace wenlei

#endif  // WENLEI_TRAIN_GRID_CLOCK_H_
