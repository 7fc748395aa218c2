#ifndef WENLEI_TRAIN_PLATT_H_
#define WENLEI_TRAIN_PLATT_H_

#include <vector>

namespace wenlei {

// Platt's sigmoid P(positive | f) = 1 / (1 + exp(A f + B)) fitted to
// decision values f and their truths by the Newton method with backtracking
// of Lin, Lin and Weng (2007), on the regularised targets
// (N+ + 1) / (N+ + 2) and 1 / (N- + 2) -- the fit libsvm's probability
// estimates use.  With weights (one per decision; empty: all 1) each
// decision counts as that many, N+ and N- included: the weighting of the
// classes' costs, so that the probabilities keep the balance the model was
// trained to rather than the corpus's class sizes.
struct Sigmoid {
  double a = 0.0;
  double b = 0.0;
};
Sigmoid FitSigmoid(const std::vector<double>& decisions, const std::vector<bool>& positive,
                   const std::vector<double>& weights = {});

}  // namespace wenlei

#endif  // WENLEI_TRAIN_PLATT_H_
