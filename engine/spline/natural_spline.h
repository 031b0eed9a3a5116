#pragma once

#include <span>
#include <vector>

namespace trov {

// The natural cubic splines with knots x (strictly increasing, at least two), linear beyond the end
// knots. The tridiagonal system of their curvatures depends on the knots alone, so it is factored once
// here; each spline through values y then costs one O(n) solve without divisions.
class NaturalSpline {
 public:
  explicit NaturalSpline(std::span<const double> x);

  // Curvatures s'' at the knots of the spline that interpolates y (as many values as knots; 0 at the
  // end knots).
  void curvatures(std::span<const double> y, std::span<double> curvature) const;

  // Slopes s' and curvatures s'' at the knots of the spline that interpolates y.
  void derivatives(std::span<const double> y, std::span<double> slope, std::span<double> curvature) const;

 private:
  std::vector<double> h_, inverse_h_;  // knot spacing and its reciprocal
  std::vector<double> reduced_;        // superdiagonal after the forward sweep
  std::vector<double> inverse_pivot_;  // 1 / pivot of the forward sweep
};

// The natural cubic spline through (x, y) at the points u: cubic between the knots, linear beyond the
// end knots, and that line's limit where u is infinite (the end value where the line is flat); NaN at
// NaN. At a knot it gives the value there exactly. Throws std::invalid_argument unless there are two
// knots or more, increasing, with a value at each.
std::vector<double> natural_spline_values(std::span<const double> x, std::span<const double> y,
                                          std::span<const double> u);

}  // namespace trov
