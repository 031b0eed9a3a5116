#include "engine/spline/natural_spline.h"

#include <cstddef>

namespace trov {

void natural_spline_derivatives(std::span<const double> x, std::span<const double> y, std::span<double> slope,
                                std::span<double> curvature) {
  const std::size_t n = x.size();
  auto h = [&](std::size_t i) { return x[i + 1] - x[i]; };
  auto secant = [&](std::size_t i) { return (y[i + 1] - y[i]) / h(i); };
  // Continuity of s' at the inner knots: h_{i-1} M_{i-1} + 2 (h_{i-1} + h_i) M_i + h_i M_{i+1}
  // = 6 (secant_i - secant_{i-1}), M_0 = M_{n-1} = 0. Forward sweep: slope holds the reduced
  // superdiagonal, curvature the reduced right-hand side.
  curvature[0] = 0;
  curvature[n - 1] = 0;
  slope[0] = 0;
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double pivot = 2 * (h(i - 1) + h(i)) - h(i - 1) * slope[i - 1];
    slope[i] = h(i) / pivot;
    curvature[i] = (6 * (secant(i) - secant(i - 1)) - h(i - 1) * curvature[i - 1]) / pivot;
  }
  for (std::size_t i = n - 2; i >= 1; --i) curvature[i] -= slope[i] * curvature[i + 1];
  // s'(x_i) from the cubic on [x_i, x_{i+1}]; at the last knot from the one on its left
  for (std::size_t i = 0; i + 1 < n; ++i)
    slope[i] = secant(i) - h(i) * (2 * curvature[i] + curvature[i + 1]) / 6;
  slope[n - 1] = secant(n - 2) + h(n - 2) * (curvature[n - 2] + 2 * curvature[n - 1]) / 6;
}

NaturalSplineCurvatures::NaturalSplineCurvatures(std::span<const double> x)
    : h_(x.size()), inv_h_(x.size()), inv_pivot_(x.size()), upper_(x.size()) {
  const std::size_t n = x.size();
  for (std::size_t i = 0; i + 1 < n; ++i) {
    h_[i] = x[i + 1] - x[i];
    inv_h_[i] = 1 / h_[i];
  }
  // The elimination of natural_spline_derivatives, with the pivots kept as reciprocals.
  for (std::size_t i = 1; i + 1 < n; ++i) {
    inv_pivot_[i] = 1 / (2 * (h_[i - 1] + h_[i]) - h_[i - 1] * upper_[i - 1]);
    upper_[i] = h_[i] * inv_pivot_[i];
  }
}

void NaturalSplineCurvatures::solve(std::span<const double> y, std::span<double> curvature) const {
  const std::size_t n = h_.size();
  curvature[0] = 0;
  curvature[n - 1] = 0;
  double secant_before = (y[1] - y[0]) * inv_h_[0];
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double secant = (y[i + 1] - y[i]) * inv_h_[i];
    curvature[i] = (6 * (secant - secant_before) - h_[i - 1] * curvature[i - 1]) * inv_pivot_[i];
    secant_before = secant;
  }
  for (std::size_t i = n - 2; i >= 1; --i) curvature[i] -= upper_[i] * curvature[i + 1];
}

}  // namespace trov
