#pragma once

#include <span>
#include <vector>

#include "engine/core/design.h"
#include "engine/core/fit_result.h"
#include "engine/core/model.h"
#include "engine/core/points.h"
#include "engine/covariate/design.h"
#include "engine/spline/smths.h"

namespace trov {

// Work storage of backfit for the points and groups of a run, allocated once; it holds the result.
struct BackfitWork {
  BackfitWork(int points, int groups);

  std::vector<double> nucov;  // covariate component, per point
  std::vector<double> nuspl;  // spline component, per point
  std::vector<double> nuoff;  // the other component plus the starting offset, per point
  std::vector<double> zwork;  // working response, per point or per group
  std::vector<double> dy;     // working standard deviations (weight 1/dy^2)
  std::vector<double> prev;   // component values of the previous inner pass
  std::vector<double> splu;   // spline component, per group
  std::vector<double>
      ycompress;               // grouped observed mean response (models 2, 3) or partial residual (model 1)
  std::vector<double> mucomp;  // grouped fitted mean
  std::vector<double> nucomp;  // linear predictor of the grouped mean
  std::vector<double> numean;  // mean at the limited nucomp, per group
  std::vector<double> lev;     // leverages of the last spline fit
  SplineWork spline;
  RegressWork regression;
  FitResult result;
};

// Fits nu = s(x) + X beta at one lambda to the responses y of the points by backfitting:
// options.ncycle cycles of a covariate step (weighted regression on the design) and a spline step
// (smoothing spline on the distinct X of the grouping), each an inner reweighted loop of at most
// options.maxit passes for models 2 and 3. Returns the fitted mean and linear predictor,
// beta (beta[0] = 0 for a categorical covariate), the spline's part of the linear predictor (without the
// covariate effect), the corrected mean (fitted mean at the case-weighted mean covariate effect), trace of
// the last spline fit, iterations of the last inner loop (models 2 and 3) and the GCV score with columns +
// trace parameters; a singular design ends the fit with its status and column. The result lives in work until
// its next fit.
const FitResult& backfit(double lambda, const Points& points, std::span<const double> y,
                         const Covariate& covariate, const FitOptions& options, BackfitWork& work);

}  // namespace trov
