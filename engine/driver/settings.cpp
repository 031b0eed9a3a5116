#include "engine/driver/settings.h"

#include <climits>
#include <cmath>
#include <utility>

#include "common/error_stop.h"
#include "common/list_writer.h"

namespace trov {

namespace {

constexpr int kParameterCount = 10;
// Upper limits of absurd settings: the grid table's readers take at most 10000 rows; beyond the other two a
// run would take days without a better result.
constexpr int kMostGridPoints = 10000;
constexpr int kMostReplicates = 100000;
constexpr int kMostIterations = 1000;

void warn(const char* message) { say(ListWriter().text(message)); }

// Values beyond the integer range saturate instead of overflowing.
int saturate(double value) {
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

int truncate_toward_zero(float value) { return saturate(std::trunc(static_cast<double>(value))); }

// Halves go away from zero: 2.5 gives 3, -2.5 gives -3.
int round_to_nearest(float value) {
  if (value > 0) return truncate_toward_zero(value + 0.5f);
  if (value < 0) return truncate_toward_zero(value - 0.5f);
  return 0;
}

Settings read_settings(ListReader& parameters) {
  int count = 0;
  read_or_fail(parameters, {&count});
  if (count != kParameterCount)
    error_stop("Error: line 1 of the parameter file must hold 10, the number of parameter lines");
  float value[kParameterCount];
  for (float& v : value) read_or_fail(parameters, {&v});
  Settings s;
  read_or_fail(parameters, {&s.seed});

  if (s.seed <= 0) error_stop("Error: random number seed must be > 0");
  // 2147483647 leads the generator to its fixed state 0, which never yields a normal deviate.
  if (s.seed == INT32_MAX) error_stop("Error: random number seed must be < 2147483647");

  s.M = truncate_toward_zero(value[0]);
  if (s.M >= 2) error_stop("Error: program can handle only 1 covariate");
  if (s.M < 0) s.M = 0;
  s.catcov = truncate_toward_zero(value[1]) != 0 ? 1 : 0;

  s.nstep = round_to_nearest(value[2]);
  s.lmin = value[3];
  if (s.nstep <= 0) {
    warn("Warning: number of lambdas (nstep) must be at least 1");
    s.nstep = 1;
  }
  if (s.nstep == 1) {
    s.step = 0.0;
  } else {
    s.lmax = value[4];
    if (!(s.lmin < s.lmax)) {
      warn("Warning: lmin must be smaller than lmax");
      std::swap(s.lmin, s.lmax);
    }
    s.step = (s.lmax - s.lmin) / (s.nstep - 1);
  }

  s.maxit = round_to_nearest(value[5]);
  s.stop = value[6];
  s.model = round_to_nearest(value[7]);
  s.icol = round_to_nearest(value[8]);
  s.iboot = truncate_toward_zero(value[9]);
  if (s.model < 1 || s.model > 3) error_stop("Error: model must be 1 (normal), 2 (binomial) or 3 (Poisson)");
  // The binomial and Poisson fits need at least one iteration to have a fit and its leverages.
  if (s.model != 1 && s.maxit < 1)
    error_stop("Error: maxit must be at least 1 in binomial and Poisson models");

  if (s.nstep > 1 && s.iboot > 1) {
    warn("Warning: bootstrap available only for fixed lambda");
    s.iboot = 1;
  }
  if (s.nstep > kMostGridPoints) error_stop("Error: nstep must be at most 10000");
  // a grid has iboot 1 by now, so only a bootstrap meets this limit
  if (s.iboot > kMostReplicates) error_stop("Error: iboot must be at most 100000");
  if (s.model != 1 && s.maxit > kMostIterations) error_stop("Error: maxit must be at most 1000");
  return s;
}

}  // namespace trov
