#include "engine/additive/fitness_function.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace trov {

namespace {

using Index = std::size_t;

// The covariates' case-weighted mean columns, from their entries in the cases' rows (T is the identity
// on their coordinates; a categorical covariate's smallest level has none).
std::vector<double> mean_covariate_columns(const AdditiveDesign& design, std::span<const double> counts) {
  const auto width = static_cast<Index>(design.width), covariates = design.levels.size();
  const int first = design.coordinates - (design.columns - design.covariate_first);
  std::vector<double> mean(static_cast<Index>(design.columns - design.covariate_first), 0.0);
  double total = 0;
  for (Index i = 0; i < static_cast<Index>(design.cases); ++i) {
    total += counts[i];
    for (Index e = i * width + width - covariates; e < (i + 1) * width; ++e)
      if (design.index[e] >= first)
        mean[static_cast<Index>(design.index[e] - first)] += counts[i] * design.entries[e];
  }
  for (double& m : mean) m /= total;
  return mean;
}

}  // namespace

FittedFunction fit_function(const FunctionData& data, const FunctionShape& shape, const RemlStart& start) {
  FittedFunction f{
      .design = additive_design(data.traits, shape.knots, shape.surface, data.counts, data.covariates)};
  AdditiveFitter fitter(f.design, data.y, data.counts, shape.model);
  if (shape.lambda) {
    f.fit = fitter.fit(*shape.lambda, start.beta);
    for (double l : *shape.lambda) f.at_most.push_back(l >= kMostLambda);
  } else {
    RemlChoice choice = choose_lambdas(fitter, f.design, start);
    f.fit = std::move(choice.fit);
    f.reml_iterations = choice.iterations;
    f.reml_converged = choice.converged;
    f.at_most = choice.at_most;
  }
  if (!f.fit.ok()) return f;
  f.design.coordinates_of(f.fit.beta, f.coordinates);
  f.covariate_means = mean_covariate_columns(f.design, data.counts);
  f.offset = f.fit.beta[0];
  for (Index c = 0; c < f.covariate_means.size(); ++c)
    f.offset += f.covariate_means[c] * f.fit.beta[static_cast<Index>(f.design.covariate_first) + c];
  if (shape.model == Model::normal) {
    double total = 0;
    for (double n : data.counts) total += n;
    f.scale = f.fit.deviance / (total - f.fit.total_edf);
  }
  f.gradients =
      additive_gradients(f.design, data.traits, data.y, data.counts, f.fit.eta, f.fit.beta, shape.model);
  f.peak = find_peak(f.design, f.coordinates, data.traits);
  return f;
}

CurveBand curve_band(const FittedFunction& f, int smooth, std::span<const double> x) {
  const AdditiveDesign& d = f.design;
  const SmoothTerm& term = d.smooths[static_cast<Index>(smooth)];
  const auto p = static_cast<Index>(d.columns), first = static_cast<Index>(term.first);
  const auto q = static_cast<Index>(term.columns);
  // the row z of the point: the intercept, the smooth's columns and the covariates' mean columns; the
  // other smooths' columns are 0
  std::vector<Index> used{0};
  for (Index c = first; c < first + q; ++c) used.push_back(c);
  for (Index c = static_cast<Index>(d.covariate_first); c < p; ++c) used.push_back(c);
  std::vector<double> z(p, 0.0);
  z[0] = 1;
  for (Index c = 0; c < f.covariate_means.size(); ++c)
    z[static_cast<Index>(d.covariate_first) + c] = f.covariate_means[c];
  CurveBand band;
  const auto at = [&](Index a, Index b) {
    return a >= b ? f.fit.inverse[a * (a + 1) / 2 + b] : f.fit.inverse[b * (b + 1) / 2 + a];
  };
  for (double point : x) {
    const std::vector<double> columns = d.curve_columns(smooth, point);
    std::copy(columns.begin(), columns.end(), z.begin() + static_cast<std::ptrdiff_t>(first));
    double eta = f.offset, variance = 0;
    for (Index c = 0; c < q; ++c) eta += z[first + c] * f.fit.beta[first + c];
    for (Index a : used)
      for (Index b : used) variance += z[a] * at(a, b) * z[b];
    band.eta.push_back(eta);
    band.se.push_back(std::sqrt(variance * f.scale));
  }
  return band;
}

}  // namespace trov
