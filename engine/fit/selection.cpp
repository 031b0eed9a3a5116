#include "engine/fit/selection.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "engine/spline/natural_spline.h"

namespace trov {

namespace {

// h and its first two derivatives at eta, without the limits of the fits' inverse link.
struct InverseLink {
  double h, first, second;
};

InverseLink inverse_link(double eta, Model model) {
  switch (model) {
    case Model::binomial: {
      const double mu = 1 / (1 + std::exp(-eta));
      const double variance = mu * (1 - mu);
      return {mu, variance, variance * (1 - 2 * mu)};
    }
    case Model::poisson: {
      const double mu = std::exp(eta);
      return {mu, mu, mu};
    }
    default:
      return {eta, 1, 0};
  }
}

}  // namespace

SelectionWork::SelectionWork(const Points& points, const XGroups* groups)
    : points_(points), covariate_(groups != nullptr) {
  const auto n = static_cast<std::size_t>(points.n);
  knot_of_point_.resize(n);
  if (groups) {
    int point = 0;
    for (int k = 0; k < groups->nunique; ++k) {
      first_point_.push_back(point);
      for (int c = 0; c < groups->icases[k]; ++c) knot_of_point_[static_cast<std::size_t>(point++)] = k;
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      first_point_.push_back(static_cast<int>(i));
      knot_of_point_[i] = static_cast<int>(i);
    }
  }
  const std::size_t knots = first_point_.size();
  knots_.resize(knots);
  for (std::size_t k = 0; k < knots; ++k) knots_[k] = points.x[static_cast<std::size_t>(first_point_[k])];
  values_.resize(knots);
  slope_.resize(knots);
  curvature_.resize(knots);
}

SelectionGradients SelectionWork::gradients(const FitResult& fit, Model model) {
  // s at the knots: the fitted linear predictor without the covariate effect
  const std::vector<double>& spline = covariate_ ? fit.nufit : (model == Model::normal ? fit.sy : fit.snu);
  for (std::size_t k = 0; k < knots_.size(); ++k)
    values_[k] = spline[static_cast<std::size_t>(first_point_[k])];
  natural_spline_derivatives(knots_, values_, slope_, curvature_);

  double total = 0, fitness = 0, first = 0, second = 0, trait = 0;
  for (int i = 0; i < points_.n; ++i) {
    const auto k = static_cast<std::size_t>(knot_of_point_[static_cast<std::size_t>(i)]);
    const double effect = covariate_ ? fit.snu[i] - fit.nufit[i] : 0.0;
    const InverseLink h = inverse_link(values_[k] + effect, model);
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
