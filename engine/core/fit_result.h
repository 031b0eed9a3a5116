#pragma once

#include <vector>

namespace trov {

// How a fit ended. A fit that did not end `ok` has no usable values.
enum class FitStatus {
  ok,
  weight_vanished,               // a fitted nu beyond +-23: a weight of the model vanished
  design_not_positive_definite,  // the covariate design's normal equations: pivot not positive
  design_ill_conditioned,        // the pivot lost in rounding
};

// The result of a fit at one lambda. The per-point vectors hold one value per point.
struct FitResult {
  FitStatus status = FitStatus::ok;
  int failed_column = 0;     // 1-based design column whose pivot failed (design faults)
  std::vector<double> mean;  // fitted mean
  std::vector<double> eta;   // fitted linear predictor, limited to +-16 by the inverse link (models 2, 3)
  std::vector<double> corrected_mean;  // fitted mean at the case-weighted mean covariate effect (covariate)
  std::vector<double> spline_eta;      // linear predictor without the covariate effect (covariate)
  std::vector<double> beta;            // covariate coefficients; beta[0] = 0 for a categorical covariate
  double trace = 0;                    // effective number of parameters of the spline
  double gcv = 0;
  double ocv = 0;      // without covariate only
  int iterations = 0;  // spline fits of the last reweighted loop (models 2 and 3)
};

}  // namespace trov
