#pragma once

#include <span>
#include <vector>

namespace trov {

// Slopes s' and curvatures s'' at the knots of the natural cubic spline s that interpolates the values
// y at the strictly increasing knots x (at least two) and is linear beyond the end knots: one
// tridiagonal solve for the curvatures (0 at the end knots), then the slopes from them. O(n); slope
// and curvature hold n values each, and slope serves as scratch during the solve.
void natural_spline_derivatives(std::span<const double> x, std::span<const double> y, std::span<double> slope,
                                std::span<double> curvature);

// The curvatures at the knots of natural cubic splines through many value vectors at the same knots:
// the tridiagonal system of natural_spline_derivatives factored once, then each solve without a
// division.
class NaturalSplineCurvatures {
 public:
  // The strictly increasing knots x, at least two.
  explicit NaturalSplineCurvatures(std::span<const double> x);

  // s'' at the knots of the natural spline through y (0 at the end knots) into curvature.
  void solve(std::span<const double> y, std::span<double> curvature) const;

 private:
  std::vector<double> h_, inv_h_;  // interval lengths and their reciprocals
  std::vector<double> inv_pivot_;  // reciprocal pivots of the elimination
  std::vector<double> upper_;      // reduced superdiagonal
};

}  // namespace trov
