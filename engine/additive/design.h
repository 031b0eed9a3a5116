#pragma once

#include <span>
#include <vector>

#include "engine/additive/cubic_basis.h"

namespace trov {

// One trait's smooth in the additive model: its cubic regression spline under the centring constraint
// sum_i N_i f(x_i) = 0, by the Householder reflection Q = I - 2 v v' / v'v that takes the constraint's
// row c (the basis's N-weighted column sums) to a multiple of e_1: the columns are X Q without its
// first, the coefficients those of Q's last K - 1 columns.
struct SmoothTerm {
  CubicBasis basis;
  std::vector<double> reflection{};  // v
  int first = 0;                     // its first column in the design
  int columns = 0;                   // K - 1
  // Q' S Q without its first row and column, divided by the basis's size (the largest absolute column
  // sum of S over the square of the largest absolute row sum of the basis at the cases), so that lambda
  // weighs the penalty against the data's information alike for every trait.
  std::vector<double> penalty{};  // columns x columns, row by row
  double penalty_scale = 1;       // the divisor
  int rank = 0;                   // K - 2
  double log_determinant = 0;     // ln of the product of its non-zero eigenvalues

  // The function's values at the knots from its coefficients.
  std::vector<double> knot_values(std::span<const double> coefficients) const;
};

// A covariate's values at the cases: continuous (one column, its value) or categorical (one column
// per level after the smallest, its indicator).
struct CovariateColumn {
  std::vector<double> values;
  bool categorical = false;
};

// The model matrix of eta = b0 + sum_j f_j(x_j) + covariates, one row per case: the intercept, each
// trait's smooth, the covariates' columns.
struct AdditiveDesign {
  int cases = 0, columns = 0;
  std::vector<double> rows;  // cases x columns, row by row
  std::vector<SmoothTerm> smooths;
  int covariate_first = 0;                  // the first covariate column
  std::vector<std::vector<double>> levels;  // per covariate, a categorical one's levels in increasing order

  const double* row(int i) const { return rows.data() + static_cast<std::size_t>(i) * columns; }
  // Columns without penalty: the intercept, the covariates' and each smooth's null space after its
  // constraint.
  int unpenalized() const;
};

// The design of the traits (one column of values each, at least 3 distinct values), at most `knots`
// knots per trait, the counts N per case, and the covariates.
AdditiveDesign additive_design(const std::vector<std::span<const double>>& traits, int knots,
                               std::span<const double> counts,
                               const std::vector<CovariateColumn>& covariates);

}  // namespace trov
