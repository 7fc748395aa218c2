#include "train/platt.h"

#include <cmath>
#include <cstddef>

namespace wenlei {
namespace {

// -log-likelihood of the targets under (a, b), written so that no exp
// overflows.
double Objective(const std::vector<double>& f, const std::vector<double>& t,
                 const std::vector<double>& w, double a, double b) {
  double value = 0.0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    const double fApB = f[i] * a + b;
    value += w[i] * (fApB >= 0 ? t[i] * fApB + std::log1p(std::exp(-fApB))
                               : (t[i] - 1.0) * fApB + std::log1p(std::exp(fApB)));
  }
  return value;
}

}  // namespace

Sigmoid FitSigmoid(const std::vector<double>& decisions, const std::vector<bool>& positive,
                   const std::vector<double>& weights) {
  const std::vector<double> w = weights.empty() ? std::vector<double>(decisions.size(), 1.0) : weights;
  double positives = 0.0, negatives = 0.0;
  for (std::size_t i = 0; i < positive.size(); ++i) (positive[i] ? positives : negatives) += w[i];
  const double high = (positives + 1.0) / (positives + 2.0);
  const double low = 1.0 / (negatives + 2.0);
  std::vector<double> target(decisions.size());
  for (std::size_t i = 0; i < decisions.size(); ++i) target[i] = positive[i] ? high : low;

  constexpr int kMaxIterations = 100;
  constexpr double kMinStep = 1e-10, kSigma = 1e-12, kEpsilon = 1e-5;
  Sigmoid s{0.0, std::log((negatives + 1.0) / (positives + 1.0))};
  double value = Objective(decisions, target, w, s.a, s.b);
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    double h11 = kSigma, h22 = kSigma, h21 = 0.0, g1 = 0.0, g2 = 0.0;
    for (std::size_t i = 0; i < decisions.size(); ++i) {
      const double fApB = decisions[i] * s.a + s.b;
      double p, q;
      if (fApB >= 0) {
        p = std::exp(-fApB) / (1.0 + std::exp(-fApB));
        q = 1.0 / (1.0 + std::exp(-fApB));
      } else {
        p = 1.0 / (1.0 + std::exp(fApB));
        q = std::exp(fApB) / (1.0 + std::exp(fApB));
      }
      const double d2 = w[i] * p * q;
      h11 += decisions[i] * decisions[i] * d2;
      h22 += d2;
      h21 += decisions[i] * d2;
      const double d1 = w[i] * (target[i] - p);
      g1 += decisions[i] * d1;
      g2 += d1;
    }
    if (std::fabs(g1) < kEpsilon && std::fabs(g2) < kEpsilon) break;
    const double det = h11 * h22 - h21 * h21;
    const double dA = -(h22 * g1 - h21 * g2) / det;
    const double dB = -(-h21 * g1 + h11 * g2) / det;
    const double gd = g1 * dA + g2 * dB;
    double step = 1.0;
    while (step >= kMinStep) {
      const double a = s.a + step * dA, b = s.b + step * dB;
      const double next = Objective(decisions, target, w, a, b);
      if (next < value + 0.0001 * step * gd) {
        s = {a, b};
        value = next;
        break;
      }
      step /= 2.0;
    }
    if (step < kMinStep) break;  // the line search found no descent
  }
  return s;
}

}  // namespace wenlei
