#pragma once

#include <cstdint>

#include "common/options_file.h"
#include "engine/core/model.h"
#include "engine/fit/search.h"

namespace trov {

// The largest |ln(lambda)| a run takes (lmin, lmax or the fixed one): lambda = exp(ln(lambda))
// stays within a double (it overflows beyond 709).
inline constexpr int kMostLnLambda = 700;

// The settings of one engine run, from lines 1-12 of trov.in. The ten parameter values are read as
// single-precision reals; the real settings keep that single-precision value.
struct Settings {
  int covariates = 0;           // M: number of covariates, 0 or 1 (value 1, truncated; negative gives 0)
  bool categorical = false;     // catcov: the covariate is categorical (value 2, truncated, non-zero)
  int nstep = 1;                // ln(lambda) grid points (value 3, rounded), at most 10000; 1: fixed lambda
  double lmin = 0.0;            // first grid point of ln(lambda), or the fixed ln(lambda) (value 4)
  double lmax = 0.0;            // last grid point (value 5, taken only when nstep > 1)
  double step = 0.0;            // distance between grid points
  int maxit = 0;                // most spline fits per fit (value 6, rounded); 1 to 1000 in models 2, 3
  double stop = 0.0;            // convergence tolerance on the relative change of nu (value 7)
  Model model = Model::normal;  // value 8, rounded: 1 normal, 2 binomial, 3 Poisson
  bool counts_column = false;   // icol = 1: the data file has a count column N (value 9, rounded)
  int iboot = 0;          // bootstrap replicates (value 10, truncated), at most 100000; none unless above 1
  std::int32_t seed = 1;  // the generator's starting state (line 12, an integer)

  bool grid() const { return nstep != 1; }
  bool bootstrap() const { return iboot > 1; }
  FitOptions fit_options() const { return {.model = model, .maxit = maxit, .stop = stop}; }
};

// The score of the converged fits that a criterion of trov.options names.
Score score_of(Criterion criterion);

}  // namespace trov
