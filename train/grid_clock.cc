#include "train/grid_clock.h"

#include <algorithm>
#include <utility>

namespace wenlei {

GridClock::GridClock(std::size_t folds, std::size_t points, std::vector<double> passWeights,
                     std::size_t threads, std::size_t calibrationThreads)
    : folds_(folds),
      seconds_(points, 0.0),
      measured_(points, 0),
      weights_(std::move(passWeights)),
      threads_(std::max<std::size_t>(1, std::min(threads, folds))),
      calibrationThreads_(std::max<std::size_t>(1, std::min(calibrationThreads, folds))),
      created_(std::chrono::steady_clock::now()) {
  for (double &weight : weights_) weight = std::max(weight, 1e-9);
  for (double weight : weights_) heaviest_ = std::max(heaviest_, weight);
}

void GridClock::Start(std::size_t fold, std::size_t pass, std::size_t point) {
  const auto now = std::chrono::steady_clock::now();
  // The first folds are built at once, before their first point.
  if (prepare_ < 0.0) {
    prepare_ = std::chrono::duration<double>(now - created_).count() / weights_[pass];
  }
  Position &at = folds_[fold];
  if (at.started && at.pass == pass && at.point + 1 == point) {
    seconds_[at.point] += std::chrono::duration<double>(now - at.since).count() / weights_[pass];
    ++measured_[at.point];
  }
  at = Position{true, pass, point, now};
}

double GridClock::SecondsLeft() const {
  std::vector<double> mean(seconds_.size(), -1.0);
  double slowest = -1.0;
  for (std::size_t p = 0; p < mean.size(); ++p) {
    if (measured_[p] > 0) mean[p] = seconds_[p] / static_cast<double>(measured_[p]);
    slowest = std::max(slowest, mean[p]);
  }
  if (slowest < 0.0) return -1.0;
  // A point not yet timed takes as long as the slowest timed one.
  double pass = 0.0;
  for (double &seconds : mean) {
    if (seconds < 0.0) seconds = slowest;
    pass += seconds;
  }
  const auto now = std::chrono::steady_clock::now();
  double left = 0.0;
  for (const Position &at : folds_) {
    const std::size_t next = at.started ? at.pass + 1 : 0;
    if (at.started) {
      // The point under way has its time so far behind it.
      const double weight = weights_[at.pass];
      const double under = std::chrono::duration<double>(now - at.since).count();
      left += std::max(0.0, mean[at.point] * weight - under);
      for (std::size_t p = at.point + 1; p < mean.size(); ++p) left += mean[p] * weight;
    }
    for (std::size_t q = next; q < weights_.size(); ++q) left += (prepare_ + pass) * weights_[q];
  }
  // The calibration and the final model are of the chosen k, most often
  // the largest: timed as the heaviest pass, so as not to promise too
  // little.
  const double perPoint = pass / static_cast<double>(mean.size());
  const double calibration =
      static_cast<double>(folds_.size()) * (2.0 * prepare_ + perPoint) * heaviest_;
  return left / static_cast<double>(threads_) +
         calibration / static_cast<double>(calibrationThreads_) +
         1.25 * (prepare_ + perPoint) * heaviest_;
}

}  // namespace wenlei
