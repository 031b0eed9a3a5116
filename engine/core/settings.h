#pragma once

// What an analysis is asked to do: one set of settings for every caller (trov.in and trov.options
// translate into it, the library takes it as it is), checked by one function.

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/core/model.h"

namespace trov {

// The largest |ln(lambda)| an analysis takes: lambda = exp(ln(lambda)) stays within a double (it
// overflows beyond 709).
inline constexpr int kMostLnLambda = 700;
// Upper limits of absurd settings: the grid table's readers take at most 10000 rows; beyond the other
// two an analysis would take days without a better result.
inline constexpr int kMostGridPoints = 10000;
inline constexpr int kMostReplicates = 100000;
inline constexpr int kMostIterations = 1000;

// The criteria of the converged fits, each a score whose smallest value may choose lambda.
enum class Criterion { reml, ml, gcv, ubre, ocv };
// How bootstrap replicates take lambda: the analysis's fixed lambda, or each its own by the criterion
// (and the observed data's fit at the lambda they choose the same way).
enum class BootstrapLambda { fixed, reselected };
// How the converged fits' bootstrap draws its replicates: around the fit (parametric), or the data's
// cases drawn with replacement, each with its count (cases: what overdispersed data need).
enum class BootstrapType { parametric, cases };

struct Settings {
  Model model = Model::binomial;
  bool categorical = false;  // the covariate is categorical (each value a level)
  // A grid of `grid_points` values of ln(lambda) from `lnlambda_min` to `lnlambda_max`, or with
  // `lnlambda` one lambda. A bootstrap needs one lambda.
  int grid_points = 21;
  double lnlambda_min = -10, lnlambda_max = 10;
  std::optional<double> lnlambda;
  // On a grid: also fit at the recommended lambda, which gives the fitted points, the gradients and
  // (with `bootstrap`) the bootstrap, as a second analysis at that one lambda.
  bool fit_recommended = true;
  // The classic fits beside the converged ones, for comparison with earlier runs: their numbers in the
  // grid and the fitted points, their gradients; the converged answer never depends on them.
  bool classic = false;
  int maxit = 100;        // most spline fits of a classic fit (binomial, Poisson)
  double stop = 1e-6;     // the classic fit's tolerance on the relative change of the linear predictor
  int bootstrap = 0;      // replicates; none below 2
  std::int32_t seed = 1;  // 1 to 2147483646
  Criterion criterion = Criterion::reml;
  BootstrapLambda bootstrap_lambda = BootstrapLambda::reselected;
  BootstrapType bootstrap_type = BootstrapType::parametric;

  bool grid() const { return !lnlambda; }
  double step() const { return (lnlambda_max - lnlambda_min) / (grid_points - 1); }
  // The first lambda of the grid, or the one lambda.
  double first_lnlambda() const { return lnlambda.value_or(lnlambda_min); }
  bool bootstrapped() const { return bootstrap > 1; }
  FitOptions fit_options() const { return {.model = model, .maxit = maxit, .stop = stop}; }
};

// The columns of a data file beside X and Y, as trov.in's lines 1 and 9 give them: a covariate's and a
// count's (N). The library's data hold them as vectors, empty or not.
struct DataColumns {
  bool covariate = false;
  bool counts = false;
};

// What is wrong with settings, each fault once, in the order `settings_faults` lists them.
enum class SettingsFault {
  seed_not_positive,
  seed_too_large,  // 2147483647 leads the generator to its fixed state 0, which never yields a deviate
  two_covariates,
  model_unknown,
  maxit_below_one,  // binomial and Poisson: their fits need one iteration for a fit and its leverages
  grid_too_large,
  bootstrap_too_large,
  maxit_too_large,
  lnlambda_out_of_range,
  // beyond what trov.in can give (its reader repairs or takes these as they come)
  grid_too_small,
  grid_ends_out_of_order,
  stop_not_positive,
  bootstrap_negative,
  bootstrap_needs_one_lambda,
  // what the criterion needs
  ocv_with_covariate,
  ubre_with_normal,
};

// Every fault of `settings` for data with `covariates` covariates (the library's 0 or 1).
std::vector<SettingsFault> settings_faults(const Settings& settings, int covariates);

}  // namespace trov
