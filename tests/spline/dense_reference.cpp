#include "tests/spline/dense_reference.h"

#include <cmath>
#include <utility>

namespace trov::test {

Matrix zeros(std::size_t rows, std::size_t cols) { return Matrix(rows, std::vector<Real>(cols, 0)); }

void solve(Matrix a, Matrix& b) {
  const std::size_t n = a.size();
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t pivot = k;
    for (std::size_t i = k + 1; i < n; ++i)
      if (std::fabs(a[i][k]) > std::fabs(a[pivot][k])) pivot = i;
    std::swap(a[k], a[pivot]);
    std::swap(b[k], b[pivot]);
    for (std::size_t i = k + 1; i < n; ++i) {
      const Real factor = a[i][k] / a[k][k];
      for (std::size_t j = k; j < n; ++j) a[i][j] -= factor * a[k][j];
      for (std::size_t j = 0; j < b[i].size(); ++j) b[i][j] -= factor * b[k][j];
    }
  }
  for (std::size_t k = n; k-- > 0;) {
    for (std::size_t j = 0; j < b[k].size(); ++j) {
      Real sum = b[k][j];
      for (std::size_t i = k + 1; i < n; ++i) sum -= a[k][i] * b[i][j];
      b[k][j] = sum / a[k][k];
    }
  }
}

Matrix roughness_matrix(const std::vector<double>& x) {
  const std::size_t n = x.size();
  const std::size_t m = n - 2;  // interior knots
  std::vector<Real> h(n - 1);
  for (std::size_t i = 0; i + 1 < n; ++i) h[i] = static_cast<Real>(x[i + 1]) - x[i];

  // Q (n x m): second divided differences; T (m x m): tridiagonal roughness matrix.
  Matrix q = zeros(n, m), t = zeros(m, m);
  for (std::size_t k = 0; k < m; ++k) {
    q[k][k] = 1 / h[k];
    q[k + 1][k] = -1 / h[k] - 1 / h[k + 1];
    q[k + 2][k] = 1 / h[k + 1];
    t[k][k] = 2 * (h[k] + h[k + 1]);
    if (k + 1 < m) t[k][k + 1] = t[k + 1][k] = h[k + 1];
  }
  // T^-1 Q'
  Matrix tq = zeros(m, n);
  for (std::size_t k = 0; k < m; ++k)
    for (std::size_t i = 0; i < n; ++i) tq[k][i] = q[i][k];
  solve(t, tq);
  Matrix k = zeros(n, n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      for (std::size_t c = 0; c < m; ++c) k[i][j] += q[i][c] * tq[c][j];
      k[i][j] *= 6;
    }
  return k;
}

Real penalty_scale_of(const std::vector<double>& x) {
  const std::size_t n = x.size();
  const std::size_t q1 = static_cast<std::size_t>(n / 4.0 + 1),
                    q3 = static_cast<std::size_t>(3 * n / 4.0 + 1);
  return 2 * (static_cast<Real>(x[q3 - 1]) - x[q1 - 1]);
}

DenseFit dense_smoothing_spline(double lambda, const std::vector<double>& x, const std::vector<double>& y,
                                const std::vector<double>& dy) {
  const std::size_t n = x.size();
  const Matrix k = roughness_matrix(x);
  const Real alpha = static_cast<Real>(lambda) * penalty_scale_of(x);

  // A = W + alpha K, right-hand sides W [y | I]
  Matrix a = zeros(n, n), rhs = zeros(n, n + 1);
  for (std::size_t i = 0; i < n; ++i) {
    const Real w = 1 / (static_cast<Real>(dy[i]) * dy[i]);
    for (std::size_t j = 0; j < n; ++j) a[i][j] = alpha * k[i][j];
    a[i][i] += w;
    rhs[i][0] = w * y[i];
    rhs[i][i + 1] = w;
  }
  solve(a, rhs);
  DenseFit result;
  for (std::size_t i = 0; i < n; ++i) {
    result.fit.push_back(static_cast<double>(rhs[i][0]));
    result.lev.push_back(static_cast<double>(rhs[i][i + 1]));
  }
  return result;
}

}  // namespace trov::test
