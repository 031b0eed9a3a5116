#include "engine/api/derived.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>

#include "engine/core/covariate_effect.h"
#include "engine/spline/links.h"
#include "engine/spline/natural_spline.h"

namespace trov::api {

double mean_at(Model model, double eta) { return mean_at_eta(eta, model); }

double covariate_effect(const Fit& fit, double covariate) {
  if (fit.coefficients.empty()) return 0;
  if (fit.levels.empty()) return fit.coefficients.size() > 1 ? fit.coefficients[1] * covariate : 0.0;
  return level_effect(fit.levels, fit.level_effects, covariate);
}

Prediction predict(const Fit& fit, Model model, std::span<const double> x,
                   std::span<const double> covariate) {
  if (!covariate.empty() && covariate.size() != x.size())
    throw std::invalid_argument("predict takes one covariate value per trait value");
  const bool with_covariate = !fit.coefficients.empty();
  // the spline s through eta less the covariate's effect, at the first point of each distinct X (the
  // points are ordered by X)
  std::vector<double> knots, values, effects, counts;
  for (const FittedPoint& p : fit.points) {
    effects.push_back(with_covariate ? covariate_effect(fit, p.covariate) : 0.0);
    counts.push_back(p.n);
    if (!knots.empty() && p.x == knots.back()) continue;
    knots.push_back(p.x);
    values.push_back(with_covariate ? p.eta - effects.back() : p.eta);
  }
  Prediction out{natural_spline_values(knots, values, x), std::vector<double>(x.size())};
  const double mean_effect =
      case_weighted_mean(std::span<const double>(effects), std::span<const double>(counts));
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!covariate.empty())
      out.eta[i] += covariate_effect(fit, covariate[i]);
    else if (with_covariate)
      out.eta[i] += mean_effect;
    out.mean[i] = mean_at(model, out.eta[i]);
  }
  return out;
}

}  // namespace trov::api
