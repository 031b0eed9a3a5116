#include "engine/fit/selection.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <utility>

#include "engine/spline/links.h"
#include "engine/spline/natural_spline.h"

namespace trov {

namespace {

// The first point of each distinct X: every point without a covariate, the groups' first with one.
std::vector<int> first_points(const Points& points, const XGroups* groups) {
  std::vector<int> first;
  if (!groups) {
    for (int i = 0; i < points.n; ++i) first.push_back(i);
    return first;
  }
  int point = 0;
  for (int k = 0; k < groups->size; ++k) {
    first.push_back(point);
    point += groups->points[k];
  }
  return first;
}

std::vector<double> knots_at(const Points& points, const std::vector<int>& first) {
  std::vector<double> knots;
  for (int i : first) knots.push_back(points.x[static_cast<std::size_t>(i)]);
  return knots;
}

}  // namespace

SelectionWork::SelectionWork(const Points& points, const Covariate* covariate)
    : points_(points),
      covariate_(covariate != nullptr),
      first_point_(first_points(points, covariate ? &covariate->groups : nullptr)),
      knots_(knots_at(points, first_point_)),
      spline_(knots_) {
  const auto n = static_cast<std::size_t>(points.n);
  knot_of_point_.resize(n);
  for (std::size_t k = 0; k < first_point_.size(); ++k) {
    const auto last = k + 1 < first_point_.size() ? static_cast<std::size_t>(first_point_[k + 1]) : n;
    for (auto i = static_cast<std::size_t>(first_point_[k]); i < last; ++i)
      knot_of_point_[i] = static_cast<int>(k);
  }
  const std::size_t knots = knots_.size();
  values_.resize(knots);
  slope_.resize(knots);
  curvature_.resize(knots);
  if (covariate_) effect_.resize(n);

  double trait = 0;
  for (int i = 0; i < points.n; ++i) {
    total_ += points.counts[i];
    trait += points.counts[i] * points.x[i];
    trait_positive_ = trait_positive_ && points.x[i] > 0;
  }
  trait_mean_ = trait / total_;
  double squares = 0;
  for (int i = 0; i < points.n; ++i) {
    const double d = points.x[i] - trait_mean_;
    squares += points.counts[i] * (d * d);
  }
  trait_sd_ = std::sqrt(squares / (total_ - 1));

  // The regression's columns, each row scaled by sqrt(N): 1, the covariate's columns after the
  // intercept, z, z^2 / 2. Gram-Schmidt (each column orthogonalized twice) gives Q R; the last two
  // coefficients are then a_g' sqrt(N) y with a_g = q_g / R_gg, and a_b' sqrt(N) y with
  // a_b = (q_b - R_bg a_g) / R_bb.
  std::vector<std::vector<double>> q;
  auto add_column = [&](auto value) {
    std::vector<double> column(n);
    for (std::size_t i = 0; i < n; ++i)
      column[i] = std::sqrt(static_cast<double>(points.counts[i])) * value(i);
    q.push_back(std::move(column));
  };
  add_column([](std::size_t) { return 1.0; });
  if (covariate) {
    const Design& design = covariate->design;
    for (int j = 1; j < design.columns; ++j)
      add_column([&](std::size_t i) { return design.xcov[i + static_cast<std::size_t>(j * design.rows)]; });
  }
  auto z = [&](std::size_t i) { return (points.x[i] - trait_mean_) / trait_sd_; };
  add_column(z);
  add_column([&](std::size_t i) { return z(i) * z(i) / 2; });
  const std::size_t columns = q.size();
  std::vector<double> r(columns * columns, 0.0);  // R(k, j) at k * columns + j
  auto dot = [&](const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
  };
  for (std::size_t j = 0; j < columns; ++j) {
    const double length = std::sqrt(dot(q[j], q[j]));
    for (int pass = 0; pass < 2; ++pass)
      for (std::size_t k = 0; k < j; ++k) {
        const double projection = dot(q[k], q[j]);
        r[k * columns + j] += projection;
        for (std::size_t i = 0; i < n; ++i) q[j][i] -= projection * q[k][i];
      }
    const double rest = std::sqrt(dot(q[j], q[j]));
    if (!(rest > 1e-9 * length)) return;  // collinear: no regression estimates
    r[j * columns + j] = rest;
    for (double& v : q[j]) v /= rest;
  }
  const std::size_t b = columns - 2, g = columns - 1;
  regression_beta_.resize(n);
  regression_gamma_.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double root = std::sqrt(static_cast<double>(points.counts[i]));
    const double a_g = q[g][i] / r[g * columns + g];
    regression_gamma_[i] = root * a_g;
    regression_beta_[i] = root * (q[b][i] - r[b * columns + g] * a_g) / r[b * columns + b];
  }
}

SelectionGradients SelectionWork::gradients(std::span<const double> y, const ConvergedFit& fit, Model model) {
  std::copy(fit.spline.begin(), fit.spline.end(), values_.begin());
  derivatives_from_jumps(knots_, values_, fit.jumps, slope_, curvature_);
  return of_spline(y, fit.effect, model);
}

namespace {

// The natural spline's highest interior local maximum from its values, slopes and curvatures at the
// knots (its curvature linear between them, so its slope a quadratic there), if it lies above the
// values at both ends: the trait value and the spline's value.
std::optional<std::pair<double, double>> spline_peak(std::span<const double> x, std::span<const double> v,
                                                     std::span<const double> s, std::span<const double> c) {
  std::optional<std::pair<double, double>> best;
  for (std::size_t k = 0; k + 1 < x.size(); ++k) {
    const double h = x[k + 1] - x[k], a = (c[k + 1] - c[k]) / (2 * h);
    // s + c t + a t^2 = 0 on (0, h], falling through 0 (curvature c + 2 a t < 0 there)
    std::vector<double> roots;
    if (a == 0) {
      if (c[k] != 0) roots.push_back(-s[k] / c[k]);
    } else {
      const double discriminant = c[k] * c[k] - 4 * a * s[k];
      if (discriminant >= 0) {
        const double q = -(c[k] + std::copysign(std::sqrt(discriminant), c[k])) / 2;
        if (q != 0) roots.push_back(s[k] / q);
        roots.push_back(q / a);
      }
    }
    for (double t : roots) {
      if (!(t > 0 && t <= h) || !(c[k] + 2 * a * t < 0)) continue;
      const double value = v[k] + t * (s[k] + t * (c[k] / 2 + t * a / 3));
      if (!best || value > best->second) best = std::pair{x[k] + t, value};
    }
  }
  if (best && (best->first >= x.back() || best->second <= std::max(v.front(), v.back()))) return std::nullopt;
  return best;
}

}  // namespace

SelectionGradients SelectionWork::of_spline(std::span<const double> y, std::span<const double> effect,
                                            Model model) {
  auto effect_at = [&](std::size_t i) { return effect.empty() ? 0.0 : effect[i]; };
  double fitness = 0, first = 0, second = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(points_.n); ++i) {
    const auto k = static_cast<std::size_t>(knot_of_point_[i]);
    const InverseLink h = inverse_link_at_mean(mean_at_eta_direct(values_[k] + effect_at(i), model), model);
    const double n = points_.counts[i];
    fitness += n * h.h;
    first += n * (h.first * slope_[k]);
    second += n * (h.second * (slope_[k] * slope_[k]) + h.first * curvature_[k]);
  }
  SelectionGradients g;
  g.mean_fitness = fitness / total_;
  g.beta = first / total_ / g.mean_fitness;
  g.gamma = second / total_ / g.mean_fitness;
  g.trait_mean = trait_mean_;
  g.trait_sd = trait_sd_;
  g.beta_standardized = g.beta * g.trait_sd;
  g.gamma_standardized = g.gamma * (g.trait_sd * g.trait_sd);
  g.trait_positive = trait_positive_;
  g.beta_mean_standardized = trait_positive_ ? g.beta * g.trait_mean : NAN;
  g.gamma_mean_standardized = trait_positive_ ? g.gamma * (g.trait_mean * g.trait_mean) : NAN;
  lande_arnold(y, g);
  if (const auto peak = spline_peak(knots_, values_, slope_, curvature_)) {
    double mean_effect = 0;
    for (std::size_t i = 0; i < effect.size(); ++i) mean_effect += points_.counts[i] * effect[i];
    g.peak_inside = true;
    g.peak_x = peak->first;
    g.peak_height = mean_at_eta_direct(peak->second + mean_effect / total_, model);
  }
  return g;
}

SelectionGradients SelectionWork::gradients(std::span<const double> y, const FitResult& fit, Model model) {
  // s at the knots: the fitted linear predictor (sy itself for model 1) without the covariate effect
  for (std::size_t i = 0; i < effect_.size(); ++i) effect_[i] = fit.eta[i] - fit.spline_eta[i];
  for (std::size_t k = 0; k < knots_.size(); ++k) {
    const auto first = static_cast<std::size_t>(first_point_[k]);
    values_[k] = fit.eta[first] - (effect_.empty() ? 0.0 : effect_[first]);
  }
  spline_.derivatives(values_, slope_, curvature_);
  return of_spline(y, effect_, model);
}

void SelectionWork::lande_arnold(std::span<const double> y, SelectionGradients& g) const {
  g.lande_arnold_beta = g.lande_arnold_gamma = NAN;
  if (regression_beta_.empty()) return;  // collinear regressors
  double sum = 0, beta = 0, gamma = 0;
  for (std::size_t i = 0; i < regression_beta_.size(); ++i) {
    sum += points_.counts[i] * y[i];
    beta += regression_beta_[i] * y[i];
    gamma += regression_gamma_[i] * y[i];
  }
  const double mean = sum / total_;
  if (!(mean > 0)) return;  // relative fitness needs a positive mean
  g.lande_arnold_beta = beta / mean;
  g.lande_arnold_gamma = gamma / mean;
}

std::size_t SelectionWork::workspace_bytes() const {
  std::size_t bytes = (knot_of_point_.capacity() + first_point_.capacity()) * sizeof(int);
  for (const auto* v :
       {&knots_, &values_, &slope_, &curvature_, &effect_, &regression_beta_, &regression_gamma_})
    bytes += v->capacity() * sizeof(double);
  return bytes;
}

ReplicateSummary summarize_replicates(std::span<const double> values) {
  const auto count = values.size();
  ReplicateSummary summary;
  if (count == 0) return summary;
  if (!std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); }))
    return {NAN, NAN, NAN, NAN};
  double sum = 0;
  std::size_t at_most_zero = 0, at_least_zero = 0;
  for (double v : values) {
    sum += v;
    at_most_zero += v <= 0;
    at_least_zero += v >= 0;
  }
  const double mean = sum / static_cast<double>(count);
  double squares = 0;
  for (double v : values) squares += (v - mean) * (v - mean);
  summary.se = count > 1 ? std::sqrt(squares / static_cast<double>(count - 1)) : 0;
  // the observed value counts as one more replicate, so p is never 0
  const auto tail = static_cast<double>(std::min(at_most_zero, at_least_zero));
  summary.p = std::min(1.0, 2 * (1 + tail) / static_cast<double>(count + 1));
  std::vector<double> sorted(values.begin(), values.end());
  std::sort(sorted.begin(), sorted.end());
  auto quantile = [&](double probability) {
    const double h = static_cast<double>(count - 1) * probability;
    const auto below = static_cast<std::size_t>(std::floor(h));
    const std::size_t above = std::min(below + 1, count - 1);
    return sorted[below] + (h - static_cast<double>(below)) * (sorted[above] - sorted[below]);
  };
  summary.lower = quantile(0.025);
  summary.upper = quantile(0.975);
  return summary;
}

}  // namespace trov
