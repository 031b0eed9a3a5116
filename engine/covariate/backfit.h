#pragma once

#include <span>
#include <vector>

#include "engine/covariate/design.h"
#include "engine/driver/grouping.h"
#include "engine/spline/smths.h"

namespace trov {

// Work storage of backfit, allocated once per run at the array capacity.
struct BackfitWork {
  BackfitWork(int capacity, int maxcol);

  std::vector<double> nucov;   // covariate component, per point
  std::vector<double> nuspl;   // spline component, per point
  std::vector<double> nuoff;   // the other component plus the starting offset, per point
  std::vector<double> zwork;   // working response, per point or per group
  std::vector<double> dy;      // working standard deviations (weight 1/dy^2)
  std::vector<double> prev;    // component values of the previous inner pass
  std::vector<double> splu;    // spline component, per group
  std::vector<double> mucomp;  // grouped fitted mean
  std::vector<double> nucomp;  // linear predictor of the grouped mean
  std::vector<double> numean;  // mean at the limited nucomp, per group
  std::vector<double> lev;     // leverages of the last spline fit
  SplineWork spline;
  RegressWork regression;
};

// Fits nu = s(x) + X beta at one lambda by backfitting: ncycle cycles of a covariate step (weighted
// regression on the first p columns of xcov) and a spline step (smoothing spline on the distinct X of
// `groups`), each an inner reweighted loop of at most maxit passes for models 2 and 3.
// Before the call ycompress must hold the grouped mean response (compressy of y); model 1 uses it as
// work space for the grouped partial residuals.
// Returns sy and snu (fitted mean and linear predictor), beta (beta[0] = 0 for a categorical
// covariate), nufit (linear predictor without the covariate effect), syc (fitted mean at the
// case-weighted mean covariate effect), trace of the last spline fit, niter of the last inner loop
// (models 2 and 3) and the GCV score with p + trace parameters.
void backfit(std::span<const double> y, std::span<const double> xcov, int n, int p, std::span<const int> irep,
             int model, std::span<double> sy, std::span<double> syc, std::span<double> beta,
             std::span<double> nufit, std::span<double> snu, int catcov, double stop, int maxit,
             double lambda, int capacity, int maxcol, double& trace, int& niter, double& gcv, double reslim,
             double sdmax, int ncycle, const XGroups& groups, std::span<double> ycompress, BackfitWork& work);

}  // namespace trov
