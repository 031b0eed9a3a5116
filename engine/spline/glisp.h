#pragma once

#include <span>
#include <vector>

#include "engine/core/fit_result.h"
#include "engine/core/model.h"
#include "engine/spline/smths.h"

namespace trov {

// Work storage of glisp for n points, allocated once and reused by every fit; it holds the result.
struct GlispWork {
  explicit GlispWork(int n);
  SplineWork spline;
  std::vector<double> z;     // working response
  std::vector<double> dy;    // working standard deviations
  std::vector<double> prev;  // nu of the previous iteration
  std::vector<double> mean;  // fitted means of the current iteration
  std::vector<double> lev;   // leverages of the last spline fit
  FitResult result;
};

// Penalized-likelihood fit at one lambda without covariate, of the responses y at the distinct trait
// values x with counts irep. Model 1: one weighted smoothing spline. Models 2 and 3: reweighted
// smoothing from the constant fit, at most options.maxit spline fits (at least one). Returns the
// fitted means sy, linear predictor snu (the means themselves for model 1), trace, GCV and OCV scores
// and, for models 2 and 3, the number of spline fits; status weight_vanished when a fitted nu exceeds
// 23 in magnitude (nothing else is then finished). The result lives in work until its next fit.
const FitResult& glisp(double lambda, std::span<const double> x, std::span<const double> y,
                       std::span<const int> irep, const FitOptions& options, GlispWork& work);

}  // namespace trov
