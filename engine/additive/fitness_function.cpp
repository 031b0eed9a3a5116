#include "engine/additive/fitness_function.h"

#include <cmath>
#include <cstddef>

namespace trov {

namespace {

using Index = std::size_t;

// The covariates' case-weighted mean columns.
std::vector<double> mean_covariate_columns(const AdditiveDesign& design, std::span<const double> counts) {
  const auto first = static_cast<Index>(design.covariate_first), p = static_cast<Index>(design.columns);
  std::vector<double> mean(p - first, 0.0);
  double total = 0;
  for (int i = 0; i < design.cases; ++i) {
    const std::vector<double> x = design.row(i);
    const double n = counts[static_cast<Index>(i)];
    total += n;
    for (Index c = first; c < p; ++c) mean[c - first] += n * x[c];
  }
  for (double& m : mean) m /= total;
  return mean;
}

}  // namespace

FittedFunction fit_function(const FunctionData& data, const FunctionShape& shape, const RemlStart& start) {
  FittedFunction f{.design = additive_design(data.traits, shape.knots, shape.surface, data.counts, data.covariates)};
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
  f.gradients = additive_gradients(f.design, data.traits, data.y, data.counts, f.fit.eta, f.fit.beta, shape.model);
  f.peak = find_peak(f.design, f.coordinates, data.traits);
  return f;
}

CurveBand curve_band(const FittedFunction& f, int smooth, std::span<const double> x) {
  const AdditiveDesign& d = f.design;
  const SmoothTerm& term = d.smooths[static_cast<Index>(smooth)];
  const auto p = static_cast<Index>(d.columns), first = static_cast<Index>(term.first);
  const auto q = static_cast<Index>(term.columns);
  // the row z of the point: the intercept, the smooth's columns and the covariates' mean columns
  std::vector<double> z(p, 0.0);
  z[0] = 1;
  for (Index c = 0; c < f.covariate_means.size(); ++c) z[static_cast<Index>(d.covariate_first) + c] = f.covariate_means[c];
  CurveBand band;
  const auto at = [&](Index a, Index b) {
    return a >= b ? f.fit.inverse[a * (a + 1) / 2 + b] : f.fit.inverse[b * (b + 1) / 2 + a];
  };
  for (double point : x) {
    const CubicBasis::Local l = term.bases[0].local(point);
    const int k = term.bases[0].size();
    const int coordinate[4] = {l.interval, l.interval + 1, k + l.interval, k + l.interval + 1};
    for (Index c = 0; c < q; ++c) {
      double sum = 0;
      for (Index e = 0; e < 4; ++e)
        sum += l.value[e] * d.transform[static_cast<Index>(term.coordinate_first + coordinate[e]) * p + first + c];
      z[first + c] = sum;
    }
    double eta = f.offset, variance = 0;
    for (Index c = 0; c < q; ++c) eta += z[first + c] * f.fit.beta[first + c];
    for (Index a = 0; a < p; ++a)
      for (Index b = 0; b < p; ++b) variance += z[a] * at(a, b) * z[b];
    band.eta.push_back(eta);
    band.se.push_back(std::sqrt(variance * f.scale));
  }
  return band;
}

}  // namespace trov
