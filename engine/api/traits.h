#pragma once

// trov as a library for several traits at once: the additive fitness function
// eta = b0 + sum_a f_a(x_a) + covariates, each f_a a penalized cubic regression spline with its own
// lambda chosen by REML, and the selection gradients of the fitted function. Like analyse, it writes
// nothing, never ends the process and keeps no state between calls.

#include <string>
#include <variant>
#include <vector>

#include "engine/api/trov.h"

namespace trov::api {

// A covariate of the cases: continuous (one coefficient) or categorical (each distinct value a level;
// one coefficient per level after the smallest, at most 20 levels).
struct TraitCovariate {
  std::string name;
  std::vector<double> values;
  bool categorical = false;
};

// The cases: each trait a column of values (one per case), named (names empty: x1, x2, ...); y and n
// as in Data (n empty for 1 each; binomial: the trials, y the proportion that survived); covariates
// any number. Every value finite.
struct TraitsData {
  std::vector<std::string> names;
  std::vector<std::vector<double>> traits;
  std::vector<double> y, n;
  std::vector<TraitCovariate> covariates;
};

// One trait's smooth: its knots and the function's values there, its lambda (on the penalty divided by
// the basis's size) and edf, and f at every case (sum_i N_i f(x_i) = 0).
struct TraitSmooth {
  std::string name;
  std::vector<double> knots, knot_values;
  double lambda = 0, edf = 0;
  bool linear = false;  // lambda at its upper bound 1e12: a straight line, no curvature found
  std::vector<double> fitted{};
};

// The gradients of the fitted function, per trait in the traits' order; the matrices M x M row by row
// (gamma[a * M + b]), named as `beta_names` and `gamma_names` say: "beta[a]", "gamma[a,b]".
struct TraitsGradients {
  double mean_fitness = 0;
  std::vector<double> trait_mean, trait_sd;  // over the individuals; sd with divisor Ntot - 1
  std::vector<double> beta, beta_standardized;
  std::vector<double> gamma, gamma_standardized;
  std::vector<double> lande_arnold_beta,
      lande_arnold_gamma;  // on the standardized traits (NaN where not defined)
  std::vector<std::string> beta_names, gamma_names;
};

struct TraitsResults {
  int cases = 0;
  double observations = 0;  // the sum of the counts
  std::vector<TraitSmooth> smooths;
  double intercept = 0;
  std::vector<std::string> coefficient_names;  // the covariates' columns: "name" or "name[level]"
  std::vector<double> coefficients;
  double edf = 0;   // 1 for the intercept, 1 per covariate column, and every smooth's edf
  double reml = 0;  // minus the Laplace-approximate log restricted likelihood (normal: scale profiled)
  double deviance = 0;
  int reml_iterations = 0;          // Newton steps of the choice of lambdas (0 with a fixed lnlambda)
  std::vector<double> eta, fitted;  // per case
  TraitsGradients gradients;
  std::vector<std::string> warnings;  // each a line "kind: words"
};

using TraitsOutcome = std::variant<TraitsResults, Error>;

// The analysis of the traits with at most `knots` knots each (at the quantiles of each trait's distinct
// values), under `settings`: its model, and lnlambda, which when given fixes every trait's ln(lambda)
// (within ln 1e-8 and ln 1e12) instead of REML's choice. The criterion must be REML; there is no grid
// and no bootstrap here.
TraitsOutcome analyse_traits(const TraitsData& data, const Settings& settings, int knots = 20);

}  // namespace trov::api
