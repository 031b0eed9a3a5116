#include "tests/spline/stepwise_reference.h"

#include <utility>

namespace trov::test {

StepwiseFit stepwise_smoothing_spline(double lambda, const std::vector<double>& xv, const std::vector<double>& yv,
                                      const std::vector<double>& dyv) {
  const int n = static_cast<int>(xv.size());
  // 1-based copies
  std::vector<double> x(n + 1), y(n + 1), dy(n + 1);
  for (int i = 1; i <= n; ++i) x[i] = xv[i - 1], y[i] = yv[i - 1], dy[i] = dyv[i - 1];
  std::vector<double> c1(n + 1), c2(n + 1), c3(n + 1), h(n + 1), c5(n + 1), c6(n + 1), c7(n + 1);
  std::vector<double> qu(n + 1), u(n + 1), qty(n + 1);

  const int q1 = static_cast<int>(0.25 * n + 1), q3 = static_cast<int>(0.75 * n + 1);
  const double t = 2 * (x[q3] - x[q1]);
  const double p = 1 / (1 + lambda * t);

  // bands
  h[1] = x[2] - x[1];
  for (int i = 2; i <= n - 1; ++i) {
    h[i] = x[i + 1] - x[i];
    c1[i] = dy[i - 1] / h[i - 1];
    c2[i] = -dy[i] / h[i] - dy[i] / h[i - 1];
    c3[i] = dy[i + 1] / h[i];
  }
  c1[n] = 0;
  for (int i = 2; i <= n - 1; ++i) c5[i] = c1[i] * c1[i] + c2[i] * c2[i] + c3[i] * c3[i];
  if (n - 1 >= 3) {
    for (int i = 3; i <= n - 1; ++i) c6[i - 1] = c2[i - 1] * c1[i] + c3[i - 1] * c2[i];
  }
  c6[n - 1] = 0;
  if (n - 1 >= 4) {
    for (int i = 4; i <= n - 1; ++i) c7[i - 2] = c3[i - 2] * c1[i];
  }
  c7[n - 2] = 0;
  c7[n - 1] = 0;
  double prev = (y[2] - y[1]) / h[1];
  for (int i = 2; i <= n - 1; ++i) {
    const double diff = (y[i + 1] - y[i]) / h[i];
    qty[i] = diff - prev;
    prev = diff;
  }

  // factor and solve
  const double c = 6 * (1 - p);
  for (int i = 2; i <= n - 1; ++i) {
    c1[i] = c * c5[i] + 2 * p * (h[i - 1] + h[i]);
    c2[i] = c * c6[i] + p * h[i];
    c3[i] = c * c7[i];
  }
  if (n - 2 < 2) {
    u[1] = 0;
    u[2] = qty[2] / c1[2];
    u[3] = 0;
  } else {
    for (int i = 2; i <= n - 2; ++i) {
      double r = c2[i] / c1[i];
      c1[i + 1] -= r * c2[i];
      c2[i + 1] -= r * c3[i];
      c2[i] = r;
      r = c3[i] / c1[i];
      c1[i + 2] -= r * c3[i];
      c3[i] = r;
    }
    u[1] = 0;
    c3[1] = 0;
    u[2] = qty[2];
    for (int i = 2; i <= n - 2; ++i) u[i + 1] = qty[i + 1] - c2[i] * u[i] - c3[i - 1] * u[i - 1];
    u[n] = 0;
    u[n - 1] = u[n - 1] / c1[n - 1];
    for (int i = n - 2; i >= 2; --i) u[i] = u[i] / c1[i] - u[i + 1] * c2[i] - c3[i] * u[i + 2];
  }
  prev = 0;
  for (int i = 2; i <= n; ++i) {
    const double s = (u[i] - u[i - 1]) / h[i - 1];
    qu[i] = s;
    qu[i - 1] = s - prev;
    prev = s;
  }
  qu[n] = -qu[n];

  StepwiseFit result;
  for (int i = 1; i <= n; ++i) result.fit.push_back(y[i] - c * (dy[i] * dy[i]) * qu[i]);  // dy_i^2 is one factor

  // leverages (at least four knots)
  c5[n - 1] = 1 / c1[n - 1];
  c6[n - 2] = -c2[n - 2] * c5[n - 1];
  c5[n - 2] = 1 / c1[n - 2] - c6[n - 2] * c2[n - 2];
  for (int i = n - 3; i >= 2; --i) {
    c7[i] = -c2[i] * c6[i + 1] - c3[i] * c5[i + 2];
    c6[i] = -c2[i] * c5[i + 1] - c3[i] * c6[i + 1];
    c5[i] = 1 / c1[i] - c2[i] * c6[i] - c3[i] * c7[i];
  }
  auto s_entry = [&](int a, int b) {
    if (a > b) std::swap(a, b);
    return b == a ? c5[a] : b == a + 1 ? c6[a] : c7[a];
  };
  for (int j = 1; j <= n; ++j) {
    int first;
    std::vector<double> g;
    if (j == 1) {
      first = 2, g = {1 / h[1]};
    } else if (j == 2) {
      first = 2, g = {-1 / h[2] - 1 / h[1], 1 / h[2]};
    } else if (j <= n - 2) {
      first = j - 1, g = {1 / h[j - 1], -1 / h[j] - 1 / h[j - 1], 1 / h[j]};
    } else if (j == n - 1) {
      first = n - 2, g = {1 / h[n - 2], -1 / h[n - 1] - 1 / h[n - 2]};
    } else {
      first = n - 1, g = {1 / h[n - 1]};
    }
    const int m = static_cast<int>(g.size());
    std::vector<double> w(m);
    for (int a = 0; a < m; ++a) {
      w[a] = s_entry(first + a, first) * g[0];
      for (int b = 1; b < m; ++b) w[a] = w[a] + s_entry(first + a, first + b) * g[b];
    }
    double v = g[0] * w[0];
    for (int a = 1; a < m; ++a) v = v + g[a] * w[a];
    result.lev.push_back(1 - c * (dy[j] * dy[j]) * v);
  }
  for (double lev : result.lev) result.trace += lev;
  return result;
}

}  // namespace trov::test
