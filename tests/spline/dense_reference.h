#pragma once

#include <cstddef>
#include <vector>

namespace trov::test {

using Real = long double;
using Matrix = std::vector<std::vector<Real>>;

Matrix zeros(std::size_t rows, std::size_t cols);

// Solves A X = B in place (B becomes X) by Gaussian elimination with partial pivoting.
void solve(Matrix a, Matrix& b);

// K with s'Ks = integral of s''^2 for the natural cubic spline through s at the increasing knots x:
// K = 6 Q T^-1 Q' (Q second divided differences, T the tridiagonal matrix of the interval lengths).
Matrix roughness_matrix(const std::vector<double>& x);

// The scale t of the penalty lambda t integral s''^2: twice the spread between the knots at the
// positions n/4 + 1 and 3n/4 + 1 (1-based, truncated).
Real penalty_scale_of(const std::vector<double>& x);

// Penalized weighted least squares from its definition, with full matrices in extended precision:
// (W + lambda t K) f = W y with W = D^-2, K = 6 Q T^-1 Q'; leverages = diagonal of (W + lambda t K)^-1 W.
struct DenseFit {
  std::vector<double> fit;
  std::vector<double> lev;
};

DenseFit dense_smoothing_spline(double lambda, const std::vector<double>& x, const std::vector<double>& y,
                                const std::vector<double>& dy);

}  // namespace trov::test
