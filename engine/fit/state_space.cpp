#include "engine/fit/state_space.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace trov {

StateSpaceSpline::StateSpaceSpline(int capacity, int lanes)
    : steps_(static_cast<std::size_t>(capacity)),
      lanes_(lanes),
      means_(2 * static_cast<std::size_t>(capacity) * static_cast<std::size_t>(lanes)) {}

void StateSpaceSpline::set_weights(double penalty, std::span<const double> x,
                                   std::span<const double> weight) {
  prepare<false>(penalty, x, weight, nullptr);
}

void StateSpaceSpline::set_weights_and_smooth(double penalty, std::span<const double> x,
                                              std::span<const double> weight, std::span<const double> y,
                                              std::span<double> fit) {
  double* fits[1] = {fit.data()};
  smooth_back<1>(prepare<true>(penalty, x, weight, y.data()), fits);
}

template <bool kRiding>
StateSpaceSpline::Filter<1> StateSpaceSpline::prepare(double penalty, std::span<const double> x,
                                                      std::span<const double> weight, const double* y) {
  x_ = x;
  weight_ = weight;
  variance_ = 1 / penalty;
  const int n = static_cast<int>(x.size());
  const double q = variance_;
  // Knot 1 given y_0 and y_1 alone: f_1 = y_1 - e_1 and f'_1 = (y_1 - y_0)/h + (e_0 - e_1 + h w_d - w_f)/h,
  // whatever the line before (e the noises of y, w that of the step).
  const double h0 = x[1] - x[0], v0 = 1 / weight[0], v1 = 1 / weight[1];
  // the filtered covariance (ff, fd, dd) of the knot before, carried in registers
  double ff = v1, fd = v1 / h0, dd = (v0 + v1 + q * h0 * h0 * h0 / 3) / (h0 * h0);
  steps_[1].filtered[0] = ff;
  steps_[1].filtered[1] = fd;
  steps_[1].filtered[2] = dd;
  Filter<1> filter{};
  if constexpr (kRiding) filter = filter_start<1>(&y);
  for (int i = 2; i < n; ++i) {
    Step& before = steps_[i - 1];
    Step& step = steps_[i];
    const double h = x[i] - x[i - 1];
    // Over a step h, (f, f') moves by F = [[1, h], [0, 1]] plus noise of covariance
    // q [[h^3/3, h^2/2], [h^2/2, h]]: the predicted covariance F P F' + that.
    const double qh = q * h;
    const double pff = ff + h * (2 * fd + h * dd) + qh * h * h / 3, pfd = fd + h * dd + qh * h / 2,
                 pdd = dd + qh;
    // the smoother's gain J = P F' Q^-1 of the step from knot i - 1 (P filtered, Q predicted)
    const double a = ff + h * fd, b = fd, c = fd + h * dd;
    const double inverse = 1 / (pff * pdd - pfd * pfd);
    before.j[0] = (a * pdd - b * pfd) * inverse;
    before.j[1] = (b * pff - a * pfd) * inverse;
    before.j[2] = (c * pdd - dd * pfd) * inverse;
    before.j[3] = (dd * pff - c * pfd) * inverse;
    // the update by y_i: innovation variance s, gain (pff, pfd)/s, covariance Q - Q e e' Q / s
    const double noise = 1 / weight[i], inverse_s = 1 / (pff + noise);
    step.gain_f = pff * inverse_s;
    step.gain_d = pfd * inverse_s;
    // the products before the division, so that only one multiplication follows it
    const double ff_noise = pff * noise, fd_noise = pfd * noise, fd_fd = pfd * pfd;
    ff = ff_noise * inverse_s;
    fd = fd_noise * inverse_s;
    dd = pdd - fd_fd * inverse_s;
    step.predicted[0] = pff;
    step.predicted[1] = pfd;
    step.predicted[2] = pdd;
    step.filtered[0] = ff;
    step.filtered[1] = fd;
    step.filtered[2] = dd;
    if constexpr (kRiding) filter_step<1>(filter, &y, i, h);
  }
  return filter;
}

// kCount responses side by side, each with the operations of one alone: the filtered means of lane l
// at knot i in means_[2 (i kCount + l)] (f) and the entry after it (f').
template <int kCount>
StateSpaceSpline::Filter<kCount> StateSpaceSpline::filter_start(const double* const* y) {
  const double h0 = x_[1] - x_[0];
  Filter<kCount> filter;
  for (int l = 0; l < kCount; ++l) {
    filter.first[l] = y[l][0];
    filter.f[l] = y[l][1];
    filter.d[l] = (y[l][1] - y[l][0]) / h0;
    double* mean = &means_[2 * static_cast<std::size_t>(kCount + l)];
    mean[0] = filter.f[l];
    mean[1] = filter.d[l];
  }
  return filter;
}

// Knot i (from 2) given the one before, h apart.
template <int kCount>
inline void StateSpaceSpline::filter_step(Filter<kCount>& filter, const double* const* y, int i, double h) {
  const Step& step = steps_[i];
  for (int l = 0; l < kCount; ++l) {
    const double pf = filter.f[l] + h * filter.d[l];
    const double innovation = y[l][i] - pf;
    filter.d[l] += step.gain_d * innovation;
    filter.f[l] = pf + step.gain_f * innovation;
    double* mean = &means_[2 * static_cast<std::size_t>(i * kCount + l)];
    mean[0] = filter.f[l];
    mean[1] = filter.d[l];
  }
}

// Back from the last knot: smoothed = filtered + J (smoothed after - predicted after).
template <int kCount>
void StateSpaceSpline::smooth_back(const Filter<kCount>& filter, double* const* fit) {
  const std::span<const double> x = x_;
  const int n = static_cast<int>(x.size());
  double sf[kCount], sd[kCount];
  for (int l = 0; l < kCount; ++l) {
    sf[l] = filter.f[l];
    sd[l] = filter.d[l];
    fit[l][n - 1] = sf[l];
  }
  for (int i = n - 2; i >= 1; --i) {
    const Step& step = steps_[i];
    const double h = x[i + 1] - x[i];
    for (int l = 0; l < kCount; ++l) {
      const double* m = &means_[2 * static_cast<std::size_t>(i * kCount + l)];
      const double df = sf[l] - (m[0] + h * m[1]), dd = sd[l] - m[1];
      sf[l] = m[0] + step.j[0] * df + step.j[1] * dd;
      sd[l] = m[1] + step.j[2] * df + step.j[3] * dd;
      fit[l][i] = sf[l];
    }
  }
  // knot 0 given knot 1 and y_0: the line back from knot 1, with the step's variance q h^3/3, and y_0
  const double h0 = x[1] - x[0];
  const double step_variance = variance_ * h0 * h0 * h0 / 3, noise = 1 / weight_[0];
  const double back = noise / (noise + step_variance);
  for (int l = 0; l < kCount; ++l) fit[l][0] = back * (sf[l] - h0 * sd[l]) + (1 - back) * filter.first[l];
}

template <int kCount>
void StateSpaceSpline::smooth_lanes(const double* const* y, double* const* fit) {
  const std::span<const double> x = x_;
  const int n = static_cast<int>(x.size());
  Filter<kCount> filter = filter_start<kCount>(y);
  for (int i = 2; i < n; ++i) filter_step<kCount>(filter, y, i, x[i] - x[i - 1]);
  smooth_back<kCount>(filter, fit);
}

void StateSpaceSpline::smooth(std::span<const double> y, std::span<double> fit) {
  const double* ys[1] = {y.data()};
  double* fits[1] = {fit.data()};
  smooth_lanes<1>(ys, fits);
}

void StateSpaceSpline::smooth_columns(std::span<const double> y, std::span<double> fit, int columns) {
  const std::size_t knots = x_.size();
  const double* ys[kLanes];
  double* fits[kLanes];
  for (int first = 0; first < columns; first += lanes_) {
    const int count = std::min(lanes_, columns - first);
    for (int l = 0; l < count; ++l) {
      ys[l] = y.data() + static_cast<std::size_t>(first + l) * knots;
      fits[l] = fit.data() + static_cast<std::size_t>(first + l) * knots;
    }
    switch (count) {
      case 4:
        smooth_lanes<4>(ys, fits);
        break;
      case 3:
        smooth_lanes<3>(ys, fits);
        break;
      case 2:
        smooth_lanes<2>(ys, fits);
        break;
      default:
        smooth_lanes<1>(ys, fits);
    }
  }
}

double StateSpaceSpline::log_determinant() const {
  double sum = std::log(weight_[0]) + std::log(weight_[1]);
  for (std::size_t i = 2; i < x_.size(); ++i) sum += std::log1p(weight_[i] * steps_[i].predicted[0]);
  return sum;
}

double StateSpaceSpline::leverages(std::span<double> lev) {
  const std::span<const double> x = x_;
  const int n = static_cast<int>(x.size());
  // smoothed covariance = filtered + J (smoothed after - predicted after) J'
  double s[3] = {steps_[n - 1].filtered[0], steps_[n - 1].filtered[1], steps_[n - 1].filtered[2]};
  double trace = lev[n - 1] = weight_[n - 1] * s[0];
  for (int i = n - 2; i >= 1; --i) {
    const Step& step = steps_[i];
    const double* predicted = steps_[i + 1].predicted;
    const double e0 = s[0] - predicted[0], e1 = s[1] - predicted[1], e2 = s[2] - predicted[2];
    const double* j = step.j;
    const double t00 = j[0] * e0 + j[1] * e1, t01 = j[0] * e1 + j[1] * e2;
    const double t10 = j[2] * e0 + j[3] * e1, t11 = j[2] * e1 + j[3] * e2;
    s[0] = step.filtered[0] + t00 * j[0] + t01 * j[1];
    s[1] = step.filtered[1] + t00 * j[2] + t01 * j[3];
    s[2] = step.filtered[2] + t10 * j[2] + t11 * j[3];
    lev[i] = weight_[i] * s[0];
    trace += lev[i];
  }
  // knot 0: f_0 = back (f_1 - h f'_1) + (1 - back) y_0 + noise of variance noise * step / (noise + step)
  const double h0 = x[1] - x[0];
  const double step_variance = variance_ * h0 * h0 * h0 / 3, noise = 1 / weight_[0];
  const double back = noise / (noise + step_variance);
  const double line = s[0] - 2 * h0 * s[1] + h0 * h0 * s[2];
  lev[0] = weight_[0] * (back * back * line + noise * step_variance / (noise + step_variance));
  return trace + lev[0];
}

}  // namespace trov
