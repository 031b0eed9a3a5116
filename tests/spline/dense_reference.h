#pragma once

#include <cstddef>
#include <vector>

namespace trov::test {

// Penalized weighted least squares from its definition, with full matrices in extended precision:
// (W + lambda t K) f = W y with W = D^-2, K = 6 Q T^-1 Q'; leverages = diagonal of (W + lambda t K)^-1 W.
struct DenseFit {
  std::vector<double> fit;
  std::vector<double> lev;
};

DenseFit dense_smoothing_spline(double lambda, const std::vector<double>& x, const std::vector<double>& y,
                                const std::vector<double>& dy);

}  // namespace trov::test
