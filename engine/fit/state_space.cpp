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

// The start: knots 0 .. k together, k the first whose spread from knot 0 is at least a tenth of the
// step after it (at most kMostStart), so that the line they fix is known well enough for that step.
// Given the state (f, f') at knot k the values before it are f_j = f_k + f'_k (x_j - x_k) + g_j, g the
// integrated random walk run back from x_k, so the start's values are y = Z (f_k, f'_k) + g + e with
//   V = Cov(g + e) = C + diag(1/W),  C_jl = q integral from max(x_j, x_l) to x_k of (t - x_j)(t - x_l),
// and under the diffuse prior of the line (f_k, f'_k) given them is their generalized least-squares
// fit, of covariance (Z'V^-1 Z)^-1. Returns that covariance's determinant.
double StateSpaceSpline::prepare_start(double q) {
  const std::span<const double> x = x_, weight = weight_;
  const int n = static_cast<int>(x.size());
  constexpr double kSpread = 0.1;
  int k = 1;
  while (k < n - 1 && k < kMostStart && x[k] - x[0] < kSpread * (x[k + 1] - x[k])) ++k;
  start_.last = k;
  const int m = k + 1;
  constexpr int kMost = kMostStart + 1;
  double c[kMost][kMost], v[kMost][kMost];
  for (int j = 0; j < m; ++j)
    for (int l = 0; l < m; ++l) {
      const double a = x[k] - x[j], b = x[k] - x[l], low = std::min(a, b), high = std::max(a, b);
      c[j][l] = q * (low * low * (3 * high - low) / 6);
      v[j][l] = c[j][l] + (j == l ? 1 / weight[j] : 0);
    }
  // V = L L', L in the lower triangle of v
  double log_v = 0;
  for (int j = 0; j < m; ++j) {
    for (int l = 0; l < j; ++l) {
      double sum = v[j][l];
      for (int i = 0; i < l; ++i) sum -= v[j][i] * v[l][i];
      v[j][l] = sum / v[l][l];
    }
    double sum = v[j][j];
    for (int i = 0; i < j; ++i) sum -= v[j][i] * v[j][i];
    v[j][j] = std::sqrt(sum);
    log_v += 2 * std::log(v[j][j]);
  }
  const auto solve = [&](double* b) {  // b = V^-1 b
    for (int j = 0; j < m; ++j) {
      for (int i = 0; i < j; ++i) b[j] -= v[j][i] * b[i];
      b[j] /= v[j][j];
    }
    for (int j = m - 1; j >= 0; --j) {
      for (int i = j + 1; i < m; ++i) b[j] -= v[i][j] * b[i];
      b[j] /= v[j][j];
    }
  };
  double ones[kMost], slopes[kMost];  // V^-1 Z, Z = [1, x - x_k]
  for (int j = 0; j < m; ++j) ones[j] = 1, slopes[j] = x[j] - x[k];
  solve(ones);
  solve(slopes);
  double a00 = 0, a01 = 0, a11 = 0;  // Z'V^-1 Z
  for (int j = 0; j < m; ++j) {
    a00 += ones[j];
    a01 += ones[j] * (x[j] - x[k]);
    a11 += slopes[j] * (x[j] - x[k]);
  }
  const double information = a00 * a11 - a01 * a01;
  start_.log_term = log_v + std::log(information);
  const double ff = a11 / information, fd = -a01 / information, dd = a00 / information;
  steps_[k].filtered[0] = ff;
  steps_[k].filtered[1] = fd;
  steps_[k].filtered[2] = dd;
  for (int j = 0; j < m; ++j) {
    start_.mean[0][j] = ff * ones[j] + fd * slopes[j];
    start_.mean[1][j] = fd * ones[j] + dd * slopes[j];
  }
  // f_j given the state at knot k and the start's values: Z_j state + C_j V^-1 (y - Z state)
  for (int j = 0; j < k; ++j) {
    double* b = start_.from_values[j];
    std::copy_n(c[j], m, b);
    solve(b);
    double level = 1, slope = x[j] - x[k], variance = c[j][j];
    for (int l = 0; l < m; ++l) {
      level -= b[l];
      slope -= b[l] * (x[l] - x[k]);
      variance -= b[l] * c[j][l];
    }
    start_.from_state[j][0] = level;
    start_.from_state[j][1] = slope;
    start_.variance[j] = variance;
  }
  return 1 / information;
}

template <bool kRiding>
StateSpaceSpline::Filter<1> StateSpaceSpline::prepare(double penalty, std::span<const double> x,
                                                      std::span<const double> weight, const double* y) {
  x_ = x;
  weight_ = weight;
  variance_ = 1 / penalty;
  const int n = static_cast<int>(x.size());
  const double q = variance_;
  double det = prepare_start(q);
  const int k = start_.last;
  // the filtered covariance (ff, fd, dd) of the knot before, carried in registers with its determinant
  double ff = steps_[k].filtered[0], fd = steps_[k].filtered[1], dd = steps_[k].filtered[2];
  Filter<1> filter{};
  if constexpr (kRiding) filter = filter_start<1>(&y);
  for (int i = k + 1; i < n; ++i) {
    Step& before = steps_[i - 1];
    Step& step = steps_[i];
    const double h = x[i] - x[i - 1];
    // Over a step h, (f, f') moves by F = [[1, h], [0, 1]] plus noise of covariance
    // Q = q [[h^3/3, h^2/2], [h^2/2, h]]: the predicted covariance F P F' + Q, and its determinant
    //   |P| + q^2 h^4/12 + q h (ff + h fd + h^2 dd/3),  ff + h fd + h^2 dd/3 = ((h dd + 3 fd/2)^2/3
    //   + |P| + fd^2/4) / dd,
    // sums of positive terms where pff pdd - pfd^2 would cancel
    const double qh = q * h;
    const double pff = ff + h * (2 * fd + h * dd) + qh * h * h / 3, pfd = fd + h * dd + qh * h / 2,
                 pdd = dd + qh;
    const double lead = h * dd + 1.5 * fd;
    const double pdet = det + qh * qh * h * h / 12 + qh * ((lead * lead / 3 + det + fd * fd / 4) / dd);
    // the smoother's gain J = P F' Q^-1 of the step from knot i - 1 (P filtered, Q predicted)
    const double a = ff + h * fd, b = fd, c = fd + h * dd;
    const double inverse = 1 / pdet;
    before.j[0] = (a * pdd - b * pfd) * inverse;
    before.j[1] = (b * pff - a * pfd) * inverse;
    before.j[2] = (c * pdd - dd * pfd) * inverse;
    before.j[3] = (dd * pff - c * pfd) * inverse;
    // the update by y_i: innovation variance s, gain (pff, pfd)/s, covariance P - P e e' P / s, whose
    // dd is (|P| + pdd noise) / s and determinant |P| noise / s
    const double noise = 1 / weight[i], inverse_s = 1 / (pff + noise);
    step.gain_f = pff * inverse_s;
    step.gain_d = pfd * inverse_s;
    // the products before the division, so that only one multiplication follows it
    const double ff_noise = pff * noise, fd_noise = pfd * noise, dd_noise = pdet + pdd * noise;
    ff = ff_noise * inverse_s;
    fd = fd_noise * inverse_s;
    dd = dd_noise * inverse_s;
    det = pdet * noise * inverse_s;
    step.predicted[0] = pff;
    step.predicted[1] = pfd;
    step.predicted[2] = pdd;
    step.predicted_det = pdet;
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
  const int k = start_.last;
  Filter<kCount> filter;
  for (int l = 0; l < kCount; ++l) {
    double f = 0, d = 0;
    for (int j = 0; j <= k; ++j) {
      filter.values[l][j] = y[l][j];
      f += start_.mean[0][j] * y[l][j];
      d += start_.mean[1][j] * y[l][j];
    }
    filter.f[l] = f;
    filter.d[l] = d;
    double* mean = &means_[2 * static_cast<std::size_t>(k * kCount + l)];
    mean[0] = f;
    mean[1] = d;
  }
  return filter;
}

// Knot i (after the start) given the one before, h apart.
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

// Back from the last knot: smoothed = filtered + J (smoothed after - predicted after); before the
// start's last knot, from the smoothed state there and the start's values.
template <int kCount>
void StateSpaceSpline::smooth_back(const Filter<kCount>& filter, double* const* fit) {
  const std::span<const double> x = x_;
  const int n = static_cast<int>(x.size()), k = start_.last;
  double sf[kCount], sd[kCount];
  for (int l = 0; l < kCount; ++l) {
    sf[l] = filter.f[l];
    sd[l] = filter.d[l];
    fit[l][n - 1] = sf[l];
  }
  for (int i = n - 2; i >= k; --i) {
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
  for (int j = 0; j < k; ++j)
    for (int l = 0; l < kCount; ++l) {
      double f = start_.from_state[j][0] * sf[l] + start_.from_state[j][1] * sd[l];
      for (int i = 0; i <= k; ++i) f += start_.from_values[j][i] * filter.values[l][i];
      fit[l][j] = f;
    }
}

template <int kCount>
void StateSpaceSpline::smooth_lanes(const double* const* y, double* const* fit) {
  const std::span<const double> x = x_;
  const int n = static_cast<int>(x.size());
  Filter<kCount> filter = filter_start<kCount>(y);
  for (int i = start_.last + 1; i < n; ++i) filter_step<kCount>(filter, y, i, x[i] - x[i - 1]);
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
  const auto k = static_cast<std::size_t>(start_.last);
  double sum = start_.log_term;
  for (std::size_t i = 0; i <= k; ++i) sum += std::log(weight_[i]);
  for (std::size_t i = k + 1; i < x_.size(); ++i) sum += std::log1p(weight_[i] * steps_[i].predicted[0]);
  return sum;
}

// The smoothed covariances back from the last knot, as sums of positive terms:
//   P_s = G P_f G' + J (Q + P_s after) J',  G = I - J F = F^-1 Q P_p^-1 F,
// P_f the filtered and P_p the predicted covariance of the step to the knot after; the leverage is the
// weight times the smoothed variance of f.
double StateSpaceSpline::leverages(std::span<double> lev) {
  const std::span<const double> x = x_;
  const int n = static_cast<int>(x.size()), k = start_.last;
  const double q = variance_;
  double s[3] = {steps_[n - 1].filtered[0], steps_[n - 1].filtered[1], steps_[n - 1].filtered[2]};
  double trace = lev[n - 1] = weight_[n - 1] * s[0];
  for (int i = n - 2; i >= k; --i) {
    const Step& step = steps_[i];
    const Step& after = steps_[i + 1];
    const double h = x[i + 1] - x[i];
    // F^-1 Q = q [[-h^3/6, -h^2/2], [h^2/2, h]], then times P_p^-1, then times F
    const double fq[4] = {-q * h * h * h / 6, -q * h * h / 2, q * h * h / 2, q * h};
    const double* p = after.predicted;
    const double inverse = 1 / after.predicted_det;
    const double ip[3] = {p[2] * inverse, -p[1] * inverse, p[0] * inverse};  // P_p^-1: (ff, fd, dd)
    const double m00 = fq[0] * ip[0] + fq[1] * ip[1], m01 = fq[0] * ip[1] + fq[1] * ip[2];
    const double m10 = fq[2] * ip[0] + fq[3] * ip[1], m11 = fq[2] * ip[1] + fq[3] * ip[2];
    const double g[4] = {m00, m00 * h + m01, m10, m10 * h + m11};
    // Q + P_s after
    const double e[3] = {s[0] + q * h * h * h / 3, s[1] + q * h * h / 2, s[2] + q * h};
    const double* f = step.filtered;
    const double* j = step.j;
    // a symmetric product A B A' of a 2-by-2 A (row-major) and a symmetric B (ff, fd, dd)
    const auto sandwich = [](const double* a, const double* b, double* out) {
      const double t00 = a[0] * b[0] + a[1] * b[1], t01 = a[0] * b[1] + a[1] * b[2];
      const double t10 = a[2] * b[0] + a[3] * b[1], t11 = a[2] * b[1] + a[3] * b[2];
      out[0] = t00 * a[0] + t01 * a[1];
      out[1] = t00 * a[2] + t01 * a[3];
      out[2] = t10 * a[2] + t11 * a[3];
    };
    double from_filtered[3], from_after[3];
    sandwich(g, f, from_filtered);
    sandwich(j, e, from_after);
    for (int t = 0; t < 3; ++t) s[t] = from_filtered[t] + from_after[t];
    lev[i] = weight_[i] * s[0];
    trace += lev[i];
  }
  // the start's knots: the variance of f_j given the state at knot k, and the state's own
  for (int j = 0; j < k; ++j) {
    const double* d = start_.from_state[j];
    const double state = d[0] * (d[0] * s[0] + 2 * d[1] * s[1]) + d[1] * d[1] * s[2];
    lev[j] = weight_[j] * (start_.variance[j] + state);
    trace += lev[j];
  }
  return trace;
}

}  // namespace trov
