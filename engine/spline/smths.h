#pragma once

#include <array>
#include <span>
#include <vector>

namespace trov {

// Work storage of the smoothing spline, allocated once per run at the array capacity and reused by
// every fit. A row holds the values of one knot side by side, so that each pass over the knots walks
// memory once.
struct SplineWork {
  explicit SplineWork(int capacity);

  // Band columns of knot i, by stage:
  //   [0..2]  DQ entries (setupq), then pivot d and the factors l1, l2 of M (chold), then scratch
  //   [3]     h_i = x_{i+1} - x_i
  //   [4..6]  Q'D^2Q diagonals 0, +1, +2 (setupq), then S = M^-1 diagonals 0, +1, +2 (lvrage)
  std::vector<std::array<double, 7>> band;
  // Solution columns of knot i: [0] Q·u, [1] spare, [2] u, [3] Q'y.
  std::vector<std::array<double, 4>> solution;
};

// Natural cubic smoothing spline through n knots x (strictly increasing) with values y and standard
// deviations dy at smoothing parameter lambda: fitted values at the knots, leverages, their sum.
// fit may share storage with y, never with dy.
void smths(double lambda, int n, std::span<const double> x, std::span<const double> y,
           std::span<const double> dy, std::span<double> fit, double& trace, std::span<double> lev,
           SplineWork& work);

// Band columns of Q'D^2Q, the h's and Q'y of the n knots.
void setupq(std::span<const double> x, std::span<const double> dy, std::span<const double> y, int n,
            SplineWork& work);

// M = 6(1-p) Q'D^2Q + p T, factored as L diag(d) L'; solves M u = Q'y and forms Q·u.
void chold(double p, int n, SplineWork& work);

// Leverages lev_j = 1 - c dy_j^2 (Q M^-1 Q')_jj from the central band of M^-1, c = 6(1-p).
void lvrage(int n, std::span<const double> dy, double c, double& trace, std::span<double> lev,
            SplineWork& work);

}  // namespace trov
