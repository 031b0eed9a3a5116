#pragma once

#include <vector>

namespace trov::test {

// The smoothing spline computed step by step in the textbook order of the band algorithm: separate
// loops, one quotient per formula, 1-based arrays. The engine's fused passes must give the same
// bits.
struct StepwiseFit {
  std::vector<double> fit, lev;
  double trace = 0;
};

StepwiseFit stepwise_smoothing_spline(double lambda, const std::vector<double>& x, const std::vector<double>& y,
                                      const std::vector<double>& dy);

}  // namespace trov::test
