#include "engine/spline/natural_spline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>

namespace trov {

// Continuity of s' at the inner knots: h_{i-1} M_{i-1} + 2 (h_{i-1} + h_i) M_i + h_i M_{i+1}
// = 6 (secant_i - secant_{i-1}), with M_0 = M_{n-1} = 0 for the natural spline. Forward sweep of the
// tridiagonal system: the pivots and the reduced superdiagonal.
NaturalSpline::NaturalSpline(std::span<const double> x) {
  const std::size_t n = x.size();
  for (std::size_t i = 0; i + 1 < n; ++i) {
    h_.push_back(x[i + 1] - x[i]);
    inverse_h_.push_back(1 / h_.back());
  }
  reduced_.assign(n, 0.0);
  inverse_pivot_.assign(n, 0.0);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double pivot = 2 * (h_[i - 1] + h_[i]) - h_[i - 1] * reduced_[i - 1];
    inverse_pivot_[i] = 1 / pivot;
    reduced_[i] = h_[i] * inverse_pivot_[i];
  }
}

void NaturalSpline::curvatures(std::span<const double> y, std::span<double> curvature) const {
  const std::size_t n = y.size();
  curvature[0] = 0;
  curvature[n - 1] = 0;
  double secant_before = (y[1] - y[0]) * inverse_h_[0];
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double secant = (y[i + 1] - y[i]) * inverse_h_[i];
    curvature[i] = (6 * (secant - secant_before) - h_[i - 1] * curvature[i - 1]) * inverse_pivot_[i];
    secant_before = secant;
  }
  for (std::size_t i = n - 2; i >= 1; --i) curvature[i] -= reduced_[i] * curvature[i + 1];
}

void NaturalSpline::derivatives(std::span<const double> y, std::span<double> slope,
                                std::span<double> curvature) const {
  curvatures(y, curvature);
  // s'(x_i) from the cubic on [x_i, x_{i+1}]; at the last knot from the one on its left
  const std::size_t n = y.size();
  for (std::size_t i = 0; i + 1 < n; ++i)
    slope[i] = (y[i + 1] - y[i]) * inverse_h_[i] - h_[i] * (2 * curvature[i] + curvature[i + 1]) / 6;
  slope[n - 1] =
      (y[n - 1] - y[n - 2]) * inverse_h_[n - 2] + h_[n - 2] * (curvature[n - 2] + 2 * curvature[n - 1]) / 6;
}

void derivatives_from_jumps(std::span<const double> x, std::span<const double> y,
                            std::span<const double> jump, std::span<double> slope,
                            std::span<double> curvature) {
  const std::size_t n = x.size();
  // s'' at the knots: 0 at the first, rising by h_k times the third derivative (the jumps so far)
  double third = 0;
  curvature[0] = 0;
  for (std::size_t k = 0; k + 1 < n; ++k) {
    third += jump[k];
    curvature[k + 1] = curvature[k] + (x[k + 1] - x[k]) * third;
  }
  // 0 at the last knot too, up to the rounding of the jumps: their sum, and their moment, vanish
  const double range = x[n - 1] - x[0], end = curvature[n - 1];
  for (std::size_t k = 0; k < n; ++k) curvature[k] -= end * ((x[k] - x[0]) / range);
  // s'(x_k) = s'(x_0) + the integral of s'' (linear between the knots) from x_0; s'(x_0) from
  //   y_last - y_0 = sum_k h_k s'(x_k) + h_k^2 (2 M_k + M_k+1) / 6
  double rise = 0;
  slope[0] = 0;
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const double h = x[k + 1] - x[k];
    rise += h * slope[k] + h * h * (2 * curvature[k] + curvature[k + 1]) / 6;
    slope[k + 1] = slope[k] + h * (curvature[k] + curvature[k + 1]) / 2;
  }
  const double first = (y[n - 1] - y[0] - rise) / range;
  for (std::size_t k = 0; k < n; ++k) slope[k] += first;
}

void spline_values(std::span<const double> x, std::span<const double> y, std::span<const double> slope,
                   std::span<const double> curvature, std::span<const double> u, std::span<double> value) {
  const std::size_t n = x.size();
  std::size_t k = 0;  // the interval [x_k, x_k+1] of the last point, where increasing points start
  for (std::size_t j = 0; j < u.size(); ++j) {
    const double at = u[j];
    if (std::isnan(at)) {
      value[j] = at;
    } else if (at <= x[0] || at >= x[n - 1]) {
      // the line beyond an end, y + t s' (a flat one keeps y, also where t is infinite)
      const std::size_t end = at <= x[0] ? 0 : n - 1;
      value[j] = slope[end] == 0 ? y[end] : y[end] + (at - x[end]) * slope[end];
    } else {
      if (!(x[k] <= at && at <= x[k + 1]))
        k = static_cast<std::size_t>(std::upper_bound(x.begin(), x.end(), at) - x.begin()) - 1;
      // s = A y_k + B y_k+1 - A B h^2 ((1 + A) M_k + (1 + B) M_k+1) / 6, A + B = 1
      const double h = x[k + 1] - x[k], a = (x[k + 1] - at) / h, b = (at - x[k]) / h;
      value[j] =
          a * y[k] + b * y[k + 1] - a * b * h * h * ((1 + a) * curvature[k] + (1 + b) * curvature[k + 1]) / 6;
    }
  }
}

std::vector<double> natural_spline_values(std::span<const double> x, std::span<const double> y,
                                          std::span<const double> u) {
  const std::size_t k = x.size();
  if (k < 2 || y.size() != k)
    throw std::invalid_argument("a spline needs two knots or more, a value at each");
  for (std::size_t i = 1; i < k; ++i)
    if (!(x[i] > x[i - 1])) throw std::invalid_argument("the knots of a spline must increase");
  std::vector<double> slope(k), curvature(k), values(u.size());
  NaturalSpline(x).derivatives(y, slope, curvature);
  spline_values(x, y, slope, curvature, u, values);
  return values;
}

}  // namespace trov
