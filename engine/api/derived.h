#pragma once

// What the library's callers derive from a fit, computed as the engine computes it: the mean at a
// linear predictor, the covariate's effect, the fitted function at new trait values. The packages call
// these rather than writing the formulas again.

#include <span>
#include <vector>

#include "engine/api/trov.h"

namespace trov::api {

// The mean at the linear predictor eta, as the converged fit takes it (no limits): 1/(1 + e^-eta),
// accurate near 0 and 1 (binomial), e^eta (Poisson), eta (normal); at infinite eta its limits.
double mean_at(Model model, double eta);

// The covariate's effect on the linear predictor at the value `covariate` (as the engine took it: a
// categorical covariate's level by its value): the slope times the value (continuous), the level's
// effect (categorical; NaN for a value that is no level of the fit). 0 without a covariate.
double covariate_effect(const Fit& fit, double covariate);

struct Prediction {
  std::vector<double> eta, mean;  // the linear predictor and the mean, one each per trait value
};

// The fitted function of `fit` (of the model `model`) at the trait values x: the natural cubic spline
// through the converged fit's linear predictor at the distinct X (the spline the gradients are taken
// from; linear beyond the end values, its limit at infinite x, NaN at NaN), plus the covariate's effect
// at `covariate` (one value per x; empty: the case-weighted mean effect of the fit's points), and the
// mean there. At the fit's own points it gives their eta and fitted values. Throws
// std::invalid_argument for a fit of fewer than two distinct X, or a covariate of another length.
Prediction predict(const Fit& fit, Model model, std::span<const double> x,
                   std::span<const double> covariate = {});

}  // namespace trov::api
