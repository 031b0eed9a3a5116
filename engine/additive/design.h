#pragma once

#include <span>
#include <vector>

#include "engine/additive/cubic_basis.h"

namespace trov {

// A smooth's value at a point and its derivatives in the traits it smooths (one or two).
struct TermDerivatives {
  double value = 0;
  double first[2] = {0, 0};
  double second[2][2] = {{0, 0}, {0, 0}};
};

// One smooth of the model: a cubic regression spline of one trait, or the tensor product of two (a
// surface, f(a, b) = sum_jk c_jk phi_j(a) psi_k(b), with c the values at the grid of knots), under the
// centring constraint sum_i N_i f(x_i) = 0, by the Householder reflection Q = I - 2 v v' / v'v that takes
// the constraint's row c (the basis's N-weighted column sums) to a multiple of e_1: the columns are X Q
// without its first, the coefficients those of Q's last columns.
struct SmoothTerm {
  std::vector<int> traits;           // the traits it smooths
  std::vector<CubicBasis> bases{};   // per trait
  std::vector<double> reflection{};  // v
  int first = 0;                     // its first column in the design
  int columns = 0;                   // the basis's size less 1
  int entry_first = 0, entries = 0;  // its entries in each case's row of the design: 4 or 16
  int coordinate_first = 0;          // its first coordinate
  // One penalty per trait, Q' P Q without its first row and column: for a curve the roughness S, for a
  // surface S_a (x) I and I (x) S_b, each S divided by its basis's size (the largest absolute column sum
  // of S over the square of the largest absolute row sum of the basis at the cases), so that lambda
  // weighs the penalty against the data's information alike for every trait.
  std::vector<std::vector<double>> penalties{};    // columns x columns, row by row
  std::vector<std::vector<double>> eigenvalues{};  // per trait: its divided S's, increasing (two 0)
  std::vector<double> divisors{};                  // per trait: its S's divisor
  int rank = 0;                                    // of sum_t lambda_t P_t, whatever the lambdas
  double log_determinant_constant = 0;

  int lambdas() const { return static_cast<int>(bases.size()); }
  // b' P_t b for the term's coefficients b, from the roughness of the function's knot values (see
  // CubicBasis::roughness) rather than from P_t, whose straight part would swamp it.
  double penalty_value(int t, std::span<const double> coefficients) const;
  // ln of the product of the non-zero eigenvalues of sum_t lambda_t P_t, and its derivative in each
  // ln lambda_t into `gradient`.
  double log_determinant(std::span<const double> lambda, std::span<double> gradient) const;
  // The function's values at the knots (a surface: at the grid of knots, the first trait's knots the
  // rows) from its coefficients.
  std::vector<double> knot_values(std::span<const double> coefficients) const;
  // The function and its derivatives at the point x (one value per trait of the term) from the design's
  // coordinates u.
  TermDerivatives at(std::span<const double> x, std::span<const double> u) const;
};

// A covariate's values at the cases: continuous (one column, its value) or categorical (one column
// per level after the smallest, its indicator).
struct CovariateColumn {
  std::vector<double> values;
  bool categorical = false;
};

// The model matrix X of eta = b0 + sum_j f_j + covariates (columns: the intercept, each smooth's, the
// covariates' columns) as X = R T: T (coordinates x columns) takes the coefficients to the coordinates
// (the intercept; per curve the K values at its knots, then the K second derivatives there, [G; F G]
// with G Q's last K - 1 columns; per surface the products of its two traits' such coordinates; the
// covariates' columns), and each row of R has `width` entries: the intercept's, four per curve (the
// values and second derivatives at the two knots around x), sixteen per surface, one per covariate. So
// a case costs a few operations however many knots the traits have.
struct AdditiveDesign {
  int cases = 0, columns = 0, coordinates = 0, width = 0;
  std::vector<int> index{};         // cases x width: the coordinate of each entry
  std::vector<double> entries{};    // cases x width
  std::vector<double> transform{};  // T, coordinates x columns, row by row
  std::vector<SmoothTerm> smooths{};
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
  // A curve's columns of X at the trait value x (the smooth one trait's).
  std::vector<double> curve_columns(int smooth, double x) const;
  // The smoothing parameters: one per trait of each smooth, in the smooths' order.
  int lambdas() const;
};

// The design of the traits (one column of values each, at least 3 distinct values): a curve per trait,
// or with `surface` one surface of the two traits; at most `knots` knots per trait; the counts N per
// case, and the covariates.
AdditiveDesign additive_design(const std::vector<std::span<const double>>& traits, int knots, bool surface,
                               std::span<const double> counts,
                               const std::vector<CovariateColumn>& covariates);

}  // namespace trov
