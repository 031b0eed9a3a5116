#pragma once

#include <array>
#include <span>
#include <vector>

namespace trov {

// Work storage of the smoothing spline for up to `capacity` knots, allocated once and reused by every
// fit. A row holds the values of one knot side by side, so that each pass over the knots walks
// memory once.
struct SplineWork {
  explicit SplineWork(int capacity);

  // Band columns of knot i, by stage:
  //   [0..2]  DQ entries, then the diagonals 0, +1, +2 of M, then its pivot d and factors l1, l2
  //   [3]     h_i = x_{i+1} - x_i
  //   [4..6]  Q'D^2Q diagonals 0, +1, +2, then those of S = M^-1
  using BandRow = std::array<double, 7>;
  struct SolutionRow {
    double u;    // v of L v = Q'y, then u of M u = Q'y
    double qty;  // Q'y
  };
  std::vector<BandRow> band;
  std::vector<SolutionRow> solution;
};

// Natural cubic smoothing spline through the knots x (strictly increasing) with values y and
// standard deviations dy at smoothing parameter lambda: fitted values at the knots and leverages into
// fit and lev (as many as knots); returns their sum, the trace. Band algorithm in three stages
// (smths.cpp): setupq (bands of Q'D^2Q, Q'y), chold (root-free Cholesky of M = 6(1-p) Q'D^2Q + p T,
// u = M^-1 Q'y, Q·u), lvrage (central band of M^-1, leverages); O(n) time and storage. Three knots: M
// is 1-by-1 and the leverages come from it directly. One or two knots: no penalty applies, the fit
// interpolates (leverages 1). fit may share storage with y, never with dy.
double smths(double lambda, std::span<const double> x, std::span<const double> y, std::span<const double> dy,
             std::span<double> fit, std::span<double> lev, SplineWork& work);

// The scale t of the penalty lambda t integral f''^2 of smths at the knots x (at least three): twice
// the spread between the knots at the positions trunc(n/4 + 1) and trunc(3n/4 + 1), counted from 1.
double penalty_scale(std::span<const double> x);

}  // namespace trov
