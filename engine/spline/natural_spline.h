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

// Slopes s' and curvatures s'' at the knots x of the natural spline with values y whose third
// derivative jumps by jump_g at knot g: jump = K y, K the roughness matrix (y'Ky = integral s''^2).
// The third derivative is the sum of the jumps to its left and s'' its integral, so the curvatures come
// from sums over the knot spacings, not from divided differences of y: they keep their accuracy however
// close two knots lie. (A smoothing spline has its jumps from its residuals, without differencing its
// values.) The slopes follow from the curvatures and the spline's rise over its whole range.
void derivatives_from_jumps(std::span<const double> x, std::span<const double> y,
                            std::span<const double> jump, std::span<double> slope,
                            std::span<double> curvature);

// The values at the points u of the natural spline with values y, slopes and curvatures at the knots
// x: the cubic between the knots, in a form whose weights stay within [0, 1] however close two knots
// lie; beyond the end knots the line of the end slope, and that line's limit where u is infinite (the
// end value where the line is flat); NaN at NaN. At a knot it gives the value there exactly.
void spline_values(std::span<const double> x, std::span<const double> y, std::span<const double> slope,
                   std::span<const double> curvature, std::span<const double> u, std::span<double> value);

// The same for the natural cubic spline through (x, y), its derivatives from the values. Throws
// std::invalid_argument unless there are two knots or more, increasing, with a value at each.
std::vector<double> natural_spline_values(std::span<const double> x, std::span<const double> y,
                                          std::span<const double> u);

}  // namespace trov
