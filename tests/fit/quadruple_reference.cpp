#include "tests/fit/quadruple_reference.h"

#include <quadmath.h>

#include <algorithm>

namespace trov::test {

std::vector<double> quadruple_smoothing(double penalty, const std::vector<double>& x,
                                        const std::vector<double>& y, const std::vector<double>& weight) {
  using Q = __float128;
  const int n = static_cast<int>(x.size()), m = n - 2;
  std::vector<Q> h(n - 1), d0(m), d1(m, 0), d2(m, 0), g(m), l1(m, 0), l2(m, 0), pivot(m);
  for (int i = 0; i + 1 < n; ++i) h[i] = static_cast<Q>(x[i + 1]) - x[i];
  // column j of Q (knot j + 1) has 1/h_j, -1/h_j - 1/h_{j+1}, 1/h_{j+1} at knots j, j + 1, j + 2
  auto q = [&](int j, int k) -> Q {
    return k == 0 ? 1 / h[j] : k == 1 ? -1 / h[j] - 1 / h[j + 1] : 1 / h[j + 1];
  };
  auto w = [&](int i) -> Q { return weight[i]; };
  for (int j = 0; j < m; ++j) {
    d0[j] = (h[j] + h[j + 1]) / 3 + penalty * (q(j, 0) * q(j, 0) / w(j) + q(j, 1) * q(j, 1) / w(j + 1) +
                                               q(j, 2) * q(j, 2) / w(j + 2));
    if (j + 1 < m)
      d1[j] = h[j + 1] / 6 + penalty * (q(j, 1) * q(j + 1, 0) / w(j + 1) + q(j, 2) * q(j + 1, 1) / w(j + 2));
    if (j + 2 < m) d2[j] = penalty * q(j, 2) * q(j + 2, 0) / w(j + 2);
    g[j] = (static_cast<Q>(y[j + 2]) - y[j + 1]) / h[j + 1] - (static_cast<Q>(y[j + 1]) - y[j]) / h[j];
  }
  for (int j = 0; j < m; ++j) {  // L D L' of the five diagonals, then the two triangular solves
    pivot[j] = d0[j] - (j >= 1 ? l1[j - 1] * l1[j - 1] * pivot[j - 1] : 0) -
               (j >= 2 ? l2[j - 2] * l2[j - 2] * pivot[j - 2] : 0);
    if (j + 1 < m) l1[j] = (d1[j] - (j >= 1 ? l1[j - 1] * pivot[j - 1] * l2[j - 1] : 0)) / pivot[j];
    if (j + 2 < m) l2[j] = d2[j] / pivot[j];
    g[j] -= (j >= 1 ? l1[j - 1] * g[j - 1] : 0) + (j >= 2 ? l2[j - 2] * g[j - 2] : 0);
  }
  for (int j = m - 1; j >= 0; --j)
    g[j] = g[j] / pivot[j] - (j + 1 < m ? l1[j] * g[j + 1] : 0) - (j + 2 < m ? l2[j] * g[j + 2] : 0);
  std::vector<double> fit(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    Q qg = 0;
    for (int j = std::max(0, i - 2); j <= std::min(m - 1, i); ++j) qg += q(j, i - j) * g[j];
    fit[i] = static_cast<double>(y[i] - penalty * qg / w(i));
  }
  return fit;
}

}  // namespace trov::test
