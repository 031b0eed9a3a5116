#pragma once

#include <cmath>
#include <span>
#include <vector>

#include "engine/core/design.h"
#include "engine/core/fit_result.h"
#include "engine/core/model.h"
#include "engine/core/points.h"
#include "engine/fit/converged.h"
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
// Beside them the regression estimates of the same gradients on the standardized trait (Lande and
// Arnold 1983), which need only the responses.
struct SelectionGradients {
  double mean_fitness = 0;
  double trait_mean = 0;
  double trait_sd = 0;  // divisor Ntot - 1
  double beta = 0;
  double gamma = 0;
  double beta_standardized = 0;        // beta * trait_sd
  double gamma_standardized = 0;       // gamma * trait_sd^2
  bool trait_positive = false;         // every trait value > 0: the mean-standardized gradients apply
  double beta_mean_standardized = 0;   // beta * trait_mean (NaN unless trait_positive)
  double gamma_mean_standardized = 0;  // gamma * trait_mean^2 (NaN unless trait_positive)
  // Least squares of relative fitness y / mean y on 1, z, z^2 / 2 and the covariate's design columns,
  // z = (x - trait_mean) / trait_sd, over the individuals: the coefficients of z and z^2 / 2. NaN when
  // mean y is not positive or the regressors are collinear.
  double lande_arnold_beta = 0;
  double lande_arnold_gamma = 0;
  // The spline's highest point where it lies strictly inside the trait's range (a local maximum above
  // the values at both ends): its trait value and the fitted fitness there, h(s(z) + the case-weighted
  // mean covariate effect); NaN without one.
  bool peak_inside = false;
  double peak_x = NAN;
  double peak_height = NAN;
};

// Work storage of the gradients for the points of a run, allocated once.
class SelectionWork {
 public:
  // covariate: the design and grouping by distinct X of a covariate run, or null when every point has
  // its own X.
  SelectionWork(const Points& points, const Covariate* covariate);

  // The gradients of a converged fit to the responses y (one per point): the derivatives of its spline
  // from its values and third-derivative jumps at the distinct X, accurate however close they lie.
  SelectionGradients gradients(std::span<const double> y, const ConvergedFit& fit, Model model);

  // The storage it holds, in bytes.
  std::size_t workspace_bytes() const;

  // The same from a classic fit (its eta for models 2 and 3, its mean for model 1;
  // with a covariate e_i = eta_i - spline_eta_i): the spline through its linear predictor at the distinct X.
  SelectionGradients gradients(std::span<const double> y, const FitResult& fit, Model model);

 private:
  // The gradients from the spline's values_, slope_ and curvature_ at the distinct X and the covariate
  // effect e_i per point (empty without a covariate).
  SelectionGradients of_spline(std::span<const double> y, std::span<const double> effect, Model model);
  void lande_arnold(std::span<const double> y, SelectionGradients& g) const;

  const Points& points_;
  bool covariate_;
  std::vector<int> knot_of_point_;  // index of the point's distinct X
  std::vector<int> first_point_;    // first point of each distinct X
  std::vector<double> knots_;
  NaturalSpline spline_;
  std::vector<double> values_, slope_, curvature_;
  std::vector<double> effect_;  // of a classic fit
  double total_ = 0, trait_mean_ = 0, trait_sd_ = 0;
  bool trait_positive_ = true;
  // The regression's coefficients of z and z^2 / 2 are sum_i a_i y_i / mean y: a_i per point (empty
  // when the regressors are collinear).
  std::vector<double> regression_beta_, regression_gamma_;
};

// The spread of one gradient over the bootstrap replicates; every member NaN when some replicate's
// value is not finite.
struct ReplicateSummary {
  double se = 0;     // standard deviation, divisor B - 1
  double p = 0;      // two-sided: min(1, 2 (1 + min(#values <= 0, #values >= 0)) / (B + 1)), never 0
  double lower = 0;  // 2.5% and 97.5% quantiles, linear between order statistics (R's type 7)
  double upper = 0;
};
ReplicateSummary summarize_replicates(std::span<const double> values);

}  // namespace trov
