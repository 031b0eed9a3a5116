#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <vector>

#include "engine/covariate/backfit.h"
#include "engine/covariate/reboot.h"
#include "engine/driver/data.h"
#include "engine/driver/grouping.h"
#include "engine/driver/settings.h"
#include "engine/spline/glisp.h"

namespace trov {

inline constexpr int kMaxcol = 20;      // design columns, and the most levels of a categorical covariate
inline constexpr int kNcycle = 5;       // backfitting cycles
inline constexpr double kReslim = 5.0;  // limit on a working residual
inline constexpr double kSdmax = 10.0;  // cap on a working standard deviation

// Everything one engine run holds, allocated once, for the run's points.
struct Run {
  Run(const Settings& settings, Points points);
  Settings settings;
  Points points;
  int M = 0;           // design columns after the design is built (0: no covariate)
  long long ntot = 0;  // observations: the sum of irep
  int rows = 0;        // rows of the per-point arrays and leading dimension of xcov: the number of points
  std::vector<double> xcov;    // design, rows x kMaxcol, column-major
  std::vector<double> levels;  // levels of a categorical covariate
  std::vector<double> xcompress, ycompress;
  std::vector<int> icompress, icases;
  XGroups groups;
  // results of the last fit
  std::vector<double> sy, snu, syc, nufit, beta;
  double trace = 0, gcv = 0, ocv = 0;
  int niter = 0;
  int ierr = 0;
  double lambda = 0;
  // workspace of the fit the run uses: glisp without a covariate, backfit with one
  std::optional<GlispWork> glisp_work;
  std::optional<BackfitWork> backfit_work;
  // bootstrap
  RebootState reboot_state;
  std::int32_t seed = 1;
};

// Fits the current y at run.lambda, without covariate (glisp) or with one (backfit). A vanishing
// GLM weight ends the run with the crash message and the error stop.
void fit_at_lambda(Run& run);

// The engine's main routine: settings from `parameters`, data, checks, grid, fitted values or the
// bootstrap, all written to trov.out in the working directory.
void run_engine(std::istream& parameters);

}  // namespace trov
