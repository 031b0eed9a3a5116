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

// The model matrix X of eta = b0 + sum_j f_j(x_j) + covariates (columns: the intercept, each trait's
// smooth, the covariates' columns) as X = R T: T (coordinates x columns) takes the coefficients to the
// coordinates (the intercept; per trait the K values at its knots, then the K second derivatives there,
// [G; F G] with G Q's last K - 1 columns; the covariates' columns), and each row of R has `width`
// entries: the intercept's, four per trait (the values and second derivatives at the two knots around
// x), one per covariate. So a case costs a few operations however many knots the traits have.
struct AdditiveDesign {
  int cases = 0, columns = 0, coordinates = 0, width = 0;
  std::vector<int> index{};         // cases x width: the coordinate of each entry
  std::vector<double> entries{};    // cases x width
  std::vector<double> transform{};  // T, coordinates x columns, row by row
  std::vector<SmoothTerm> smooths{};
  std::vector<int> trait_coordinates{};     // per trait its first coordinate
  int covariate_first = 0;                  // the first covariate column (and coordinate - its offset)
  std::vector<std::vector<double>> levels;  // per covariate, a categorical one's levels in increasing order

  // The sum over entries [first, first + count) of case i's row of their values times u's coordinates.
  double dot(int i, std::span<const double> u, int first = 0, int count = -1) const;
  // u = T beta.
  void coordinates_of(std::span<const double> beta, std::vector<double>& u) const;
  // Row i of X, columns long.
  std::vector<double> row(int i) const;
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
