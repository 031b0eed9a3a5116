#pragma once

#include <cstdint>

#include "common/list_reader.h"

namespace trov {

// The settings of one engine run, from lines 1-12 of trov.in. The ten parameter values are read as
// single-precision reals; the real settings keep that single-precision value.
struct Settings {
  int M = 0;          // number of covariates, 0 or 1 (value 1, truncated; negative gives 0)
  int catcov = 0;     // 0 continuous covariate, 1 categorical (value 2, truncated; non-zero gives 1)
  int nstep = 1;      // number of ln(lambda) grid points (value 3, rounded), at most 10000; 1: fixed lambda
  double lmin = 0.0;  // first grid point of ln(lambda), or the fixed ln(lambda) (value 4)
  double lmax = 0.0;  // last grid point (value 5, taken only when nstep > 1)
  double step = 0.0;  // distance between grid points
  int maxit = 0;      // largest number of spline fits per fit (value 6, rounded); 1 to 1000 in models 2, 3
  double stop = 0.0;  // convergence tolerance on the relative change of nu (value 7)
  int model = 1;      // 1 normal, 2 binomial, 3 Poisson (value 8, rounded)
  int icol = 2;       // 1: the data file has a count column N (value 9, rounded)
  int iboot = 0;      // bootstrap replicates (value 10, truncated), at most 100000; none unless above 1
  std::int32_t seed = 1;  // generator state (line 12, an integer)
};

// Reads lines 1-12 from the parameter file and applies the checks, warnings and conversions in their
// order. Refused settings end in the error stop; unreadable values end through the input layer.
Settings read_settings(ListReader& parameters);

// Conversions of a single-precision parameter value to an integer setting.
int round_to_nearest(float value);
int truncate_toward_zero(float value);

}  // namespace trov
