#include "engine/fit/selection.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "engine/spline/natural_spline.h"

namespace trov {

namespace {

// h and its first two derivatives, from the mean mu = h(eta), without the limits of the fits' inverse
// link.
struct InverseLink {
  double h, first, second;
};

InverseLink inverse_link_at_mean(double mu, Model model) {
  switch (model) {
    case Model::binomial: {
      const double variance = mu * (1 - mu);
      return {mu, variance, variance * (1 - 2 * mu)};
    }
    case Model::poisson:
      return {mu, mu, mu};
    default:
      return {mu, 1, 0};
  }
}

double inverse_link(double eta, Model model) {
  switch (model) {
    case Model::binomial:
      return 1 / (1 + std::exp(-eta));
    case Model::poisson:
      return std::exp(eta);
    default:
      return eta;
  }
}

}  // namespace

namespace {

// The first point of each distinct X: every point without a covariate, the groups' first with one.
std::vector<int> first_points(const Points& points, const XGroups* groups) {
  std::vector<int> first;
  if (!groups) {
    for (int i = 0; i < points.n; ++i) first.push_back(i);
    return first;
  }
  int point = 0;
  for (int k = 0; k < groups->nunique; ++k) {
    first.push_back(point);
    point += groups->icases[k];
  }
  return first;
}

std::vector<double> knots_at(const Points& points, const std::vector<int>& first) {
  std::vector<double> knots;
  for (int i : first) knots.push_back(points.x[static_cast<std::size_t>(i)]);
  return knots;
}

}  // namespace

SelectionWork::SelectionWork(const Points& points, const XGroups* groups)
    : points_(points),
      covariate_(groups != nullptr),
      first_point_(first_points(points, groups)),
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
}

SelectionGradients SelectionWork::gradients(const FitResult& fit, Model model) {
  // s at the knots: the fitted linear predictor without the covariate effect
  const std::vector<double>& spline = covariate_ ? fit.nufit : (model == Model::normal ? fit.sy : fit.snu);
  for (std::size_t k = 0; k < knots_.size(); ++k)
    values_[k] = spline[static_cast<std::size_t>(first_point_[k])];
  spline_.derivatives(values_, slope_, curvature_);

  double total = 0, fitness = 0, first = 0, second = 0, trait = 0;
  for (int i = 0; i < points_.n; ++i) {
    const auto k = static_cast<std::size_t>(knot_of_point_[static_cast<std::size_t>(i)]);
    // eta = s(x_i) + e_i; where it is the fitted snu itself, the fit's own mean is h(eta)
    const bool own = !covariate_ || fit.nufit[i] == values_[k];
    const double mu = own ? fit.sy[i] : inverse_link(values_[k] + (fit.snu[i] - fit.nufit[i]), model);
    const InverseLink h = inverse_link_at_mean(mu, model);
    const double n = points_.irep[i];
    total += n;
    fitness += n * h.h;
    first += n * (h.first * slope_[k]);
    second += n * (h.second * (slope_[k] * slope_[k]) + h.first * curvature_[k]);
    trait += n * points_.x[i];
  }
  SelectionGradients g;
  g.mean_fitness = fitness / total;
  g.beta = first / total / g.mean_fitness;
  g.gamma = second / total / g.mean_fitness;
  g.trait_mean = trait / total;
  double squares = 0;
  for (int i = 0; i < points_.n; ++i) {
    const double d = points_.x[i] - g.trait_mean;
    squares += points_.irep[i] * (d * d);
  }
  g.trait_sd = std::sqrt(squares / (total - 1));
  g.beta_standardized = g.beta * g.trait_sd;
  g.gamma_standardized = g.gamma * (g.trait_sd * g.trait_sd);
  return g;
}

ReplicateSummary summarize_replicates(std::span<const double> values) {
  const auto count = values.size();
  ReplicateSummary summary;
  if (count == 0) return summary;
  double sum = 0;
  std::size_t positive = 0, negative = 0;
  for (double v : values) {
    sum += v;
    positive += v > 0;
    negative += v < 0;
  }
  const double mean = sum / static_cast<double>(count);
  double squares = 0;
  for (double v : values) squares += (v - mean) * (v - mean);
  summary.se = count > 1 ? std::sqrt(squares / static_cast<double>(count - 1)) : 0;
  summary.p =
      std::min(1.0, 2.0 * static_cast<double>(std::min(positive, negative)) / static_cast<double>(count));
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
