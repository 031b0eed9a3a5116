#pragma once

#include <span>
#include <vector>

#include "engine/spline/smths.h"

namespace trov {

// Work storage of glisp, allocated once per run at the array capacity.
struct GlispWork {
  explicit GlispWork(int capacity);
  SplineWork spline;
  std::vector<double> z;     // working response
  std::vector<double> dy;    // working standard deviations
  std::vector<double> prev;  // nu of the previous iteration
  std::vector<double> mean;  // fitted means of the current iteration
  std::vector<double> lev;   // leverages of the last spline fit
};

// Penalized-likelihood fit at one lambda without covariate: fitted means sy, linear predictor snu
// (models 2 and 3), trace, GCV and OCV scores, number of spline fits niter (models 2 and 3).
// Sets ierr = 1 (never clears it) when a fitted nu exceeds 23 in magnitude.
void glisp(double lambda, int n, std::span<const double> x, std::span<const double> y,
           std::span<double> sy, std::span<double> snu, double& trace, double& gcv, double& ocv,
           int maxit, double stop, int& niter, int model, std::span<const int> irep, int& ierr,
           double reslim, double sdmax, GlispWork& work);

}  // namespace trov
