#pragma once

#include <span>

namespace trov {

// Slopes s' and curvatures s'' at the knots of the natural cubic spline s that interpolates the values
// y at the strictly increasing knots x (at least two) and is linear beyond the end knots: one
// tridiagonal solve for the curvatures (0 at the end knots), then the slopes from them. O(n); slope
// and curvature hold n values each, and slope serves as scratch during the solve.
void natural_spline_derivatives(std::span<const double> x, std::span<const double> y, std::span<double> slope,
                                std::span<double> curvature);

}  // namespace trov
