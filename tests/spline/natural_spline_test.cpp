#include "engine/spline/natural_spline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace trov {
namespace {

using Real = long double;

// The same spline from another basis: s(z) = a + b z + sum_j c_j (z - x_j)_+^3 with sum c_j = 0 and
// sum c_j x_j = 0 (no cubic or quadratic term beyond the last knot), solved densely by Gaussian
// elimination with partial pivoting in extended precision. Returns a, b, c_1 .. c_n.
std::vector<Real> truncated_power_coefficients(const std::vector<double>& x, const std::vector<double>& y) {
  const std::size_t n = x.size(), m = n + 2;
  std::vector<std::vector<Real>> a(m, std::vector<Real>(m + 1, 0));
  for (std::size_t i = 0; i < n; ++i) {
    a[i][0] = 1;
    a[i][1] = x[i];
    for (std::size_t j = 0; j < n; ++j) a[i][2 + j] = x[i] > x[j] ? std::pow(Real(x[i]) - x[j], 3) : 0;
    a[i][m] = y[i];
  }
  for (std::size_t j = 0; j < n; ++j) {
    a[n][2 + j] = 1;
    a[n + 1][2 + j] = x[j];
  }
  for (std::size_t col = 0; col < m; ++col) {
    std::size_t pivot = col;
    for (std::size_t r = col + 1; r < m; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    std::swap(a[col], a[pivot]);
    for (std::size_t r = 0; r < m; ++r) {
      if (r == col) continue;
      const Real f = a[r][col] / a[col][col];
      for (std::size_t k = col; k <= m; ++k) a[r][k] -= f * a[col][k];
    }
  }
  std::vector<Real> coefficients(m);
  for (std::size_t r = 0; r < m; ++r) coefficients[r] = a[r][m] / a[r][r];
  return coefficients;
}

TEST(natural_spline_test, derivatives_match_a_dense_solve_in_another_basis) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> gap(0.1, 1.0), value(-2.0, 2.0);
  for (int n : {2, 3, 4, 9}) {
    std::vector<double> x, y;
    double position = 0;
    for (int i = 0; i < n; ++i) {
      position += gap(rng);
      x.push_back(position);
      y.push_back(value(rng));
    }
    std::vector<double> slope(n), curvature(n);
    natural_spline_derivatives(x, y, slope, curvature);
    const std::vector<Real> c = truncated_power_coefficients(x, y);
    for (int i = 0; i < n; ++i) {
      Real s1 = c[1], s2 = 0;
      for (int j = 0; j < n; ++j) {
        const Real d = x[i] > x[j] ? Real(x[i]) - x[j] : 0;
        s1 += 3 * c[2 + j] * d * d;
        s2 += 6 * c[2 + j] * d;
      }
      EXPECT_NEAR(slope[i], static_cast<double>(s1), 1e-9) << "n " << n << ", knot " << i;
      EXPECT_NEAR(curvature[i], static_cast<double>(s2), 1e-9) << "n " << n << ", knot " << i;
    }
  }
}

}  // namespace
}  // namespace trov
