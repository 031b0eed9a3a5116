#pragma once

#include <span>
#include <vector>

#include "engine/core/design.h"
#include "engine/core/fit_result.h"
#include "engine/core/model.h"
#include "engine/core/points.h"
#include "engine/spline/natural_spline.h"

namespace trov {

// Selection gradients of a fitted fitness function. The individuals are the points weighted by their
// N. The fitted fitness of point i at trait value z is W_i(z) = h(s(z) + e_i): h the inverse link
// without its limits, s the natural cubic spline through the fitted linear predictor at the distinct
// trait values (linear beyond the end knots), e_i the point's covariate effect. Then
//   mean_fitness = sum N_i W_i(x_i) / Ntot,
//   beta  = [sum N_i W_i'(x_i) / Ntot] / mean_fitness,
//   gamma = [sum N_i W_i''(x_i) / Ntot] / mean_fitness,
// the first and second derivatives of mean fitness under a shift of every individual's trait, relative
// to mean fitness (gamma is the curvature itself: < 0 stabilizing, > 0 disruptive selection).
struct SelectionGradients {
  double mean_fitness = 0;
  double trait_mean = 0;
  double trait_sd = 0;  // divisor Ntot - 1
  double beta = 0;
  double gamma = 0;
  double beta_standardized = 0;   // beta * trait_sd
  double gamma_standardized = 0;  // gamma * trait_sd^2
};

// Work storage of the gradients for the points of a run, allocated once.
class SelectionWork {
 public:
  // groups: the grouping by distinct X of a covariate run, or null when every point has its own X.
  SelectionWork(const Points& points, const XGroups* groups);

  // The gradients of a fit to these points (snu for models 2 and 3, sy for model 1; with a covariate
  // nufit of the first point of each X and e_i = snu_i - nufit_i).
  SelectionGradients gradients(const FitResult& fit, Model model);

 private:
  const Points& points_;
  bool covariate_;
  std::vector<int> knot_of_point_;  // index of the point's distinct X
  std::vector<int> first_point_;    // first point of each distinct X
  std::vector<double> knots_;
  NaturalSpline spline_;
  std::vector<double> values_, slope_, curvature_;
};

// The spread of one gradient over the bootstrap replicates.
struct ReplicateSummary {
  double se = 0;     // standard deviation, divisor B - 1
  double p = 0;      // two-sided: 2 min(#values > 0, #values < 0) / B, at most 1
  double lower = 0;  // 2.5% and 97.5% quantiles, linear between order statistics (R's type 7)
  double upper = 0;
};
ReplicateSummary summarize_replicates(std::span<const double> values);

}  // namespace trov
