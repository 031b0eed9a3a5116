#include "tests/spline/truncated_power.h"

#include <cmath>
#include <utility>

namespace trov::test {

using Real = long double;

TruncatedPowerSpline::TruncatedPowerSpline(const std::vector<double>& x, const std::vector<double>& y)
    : knots_(x) {
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
  // Gauss-Jordan elimination with partial pivoting
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
  for (std::size_t r = 0; r < m; ++r) coefficients_.push_back(a[r][m] / a[r][r]);
}

double TruncatedPowerSpline::value(double z) const {
  Real s = coefficients_[0] + coefficients_[1] * z;
  for (std::size_t j = 0; j < knots_.size(); ++j)
    if (z > knots_[j]) s += coefficients_[2 + j] * std::pow(Real(z) - knots_[j], 3);
  return static_cast<double>(s);
}

double TruncatedPowerSpline::slope(double z) const {
  Real s = coefficients_[1];
  for (std::size_t j = 0; j < knots_.size(); ++j)
    if (z > knots_[j]) s += 3 * coefficients_[2 + j] * (Real(z) - knots_[j]) * (Real(z) - knots_[j]);
  return static_cast<double>(s);
}

double TruncatedPowerSpline::curvature(double z) const {
  Real s = 0;
  for (std::size_t j = 0; j < knots_.size(); ++j)
    if (z > knots_[j]) s += 6 * coefficients_[2 + j] * (Real(z) - knots_[j]);
  return static_cast<double>(s);
}

}  // namespace trov::test
