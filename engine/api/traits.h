#pragma once

// trov as a library for several traits at once: the fitness function of M traits, either additive,
// eta = b0 + sum_a f_a(x_a) + covariates, each f_a a penalized cubic regression spline with its own
// lambda, or (two traits) a surface, eta = f(x_a, x_b) + covariates, f the tensor product of two such
// splines with one lambda per trait's direction; the lambdas chosen by REML. Beside the fit: the
// selection gradients of the fitted function and the regression estimates of Lande and Arnold, the
// peak of the function, and their bootstrap spread. Like analyse, it writes nothing, never ends the
// process and keeps no state between calls.

#include <optional>
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

// The shape of the fitness function and the size of its bases.
struct TraitsModel {
  bool surface = false;  // two traits: one smooth of both (tensor product) instead of one per trait
  int knots = 20;        // additive: at most this many knots per trait (4 to 1000)
  int surface_knots =
      8;  // surface: at most this many per trait, so at most its square coefficients (4 to 30)
};

// One trait's smooth of an additive model: its knots and the function's values there, its lambda (on
// the penalty divided by the basis's size) and edf, f at every case (sum_i N_i f(x_i) = 0), and the
// fitted curve on `curve_x` (101 points from the trait's smallest to its largest value): the fitness
// with every other smooth at its mean (0) and the covariates at their case-weighted mean effect, and
// its 95% band from the fit's Bayesian covariance (eta -+ 1.96 se through the inverse link).
struct TraitSmooth {
  std::string name;
  std::vector<double> knots, knot_values;
  double lambda = 0, edf = 0;
  bool linear = false;  // lambda at its upper bound 1e9: a straight line, no curvature found
  std::vector<double> fitted{};
  std::vector<double> curve_x{}, curve_fitted{}, curve_lower{}, curve_upper{};
};

// The surface of two traits: its lambdas (one per trait's direction) and edf, and the fitted fitness
// (covariates at their case-weighted mean effect) on a grid of 41 x 41 points over the traits' ranges:
// `grid_fitted[j * grid_a.size() + i]` at (grid_a[i], grid_b[j]).
struct TraitSurface {
  std::vector<std::string> names;  // the two traits
  std::vector<double> lambda;      // 2
  double edf = 0;
  std::vector<double> grid_a{}, grid_b{}, grid_fitted{};
};

// The gradients of the fitted function, per trait in the traits' order; each gamma M x M row by row
// (gamma[a * M + b]). Each value in an Estimate: its bootstrap SE, P and 95% limits without a bootstrap
// are NaN. The mean-standardized ones (beta_a times the trait's mean, gamma_ab times the two means) are
// NaN unless every value of the traits involved is positive; the Lande-Arnold ones (on the
// standardized traits) are NaN where mean y is not positive or the regressors are collinear.
struct TraitsGradients {
  double mean_fitness = 0;
  std::vector<double> trait_mean, trait_sd;  // over the individuals; sd with divisor Ntot - 1
  std::vector<Estimate> beta, beta_standardized, beta_mean_standardized, lande_arnold_beta;
  std::vector<Estimate> gamma, gamma_standardized, gamma_mean_standardized, lande_arnold_gamma;
  std::vector<std::string> beta_names;   // "beta[a]"
  std::vector<std::string> gamma_names;  // "gamma[a,b]", M x M as gamma
};

// The bootstrap of the analysis: each replicate drawn around the fit (parametric) or from the cases,
// its lambdas chosen again by REML (or kept at the fit's), its function, gradients and peak found as the
// data's were.
struct TraitsBootstrap {
  int replicates = 0;
  BootstrapType type = BootstrapType::parametric;
  BootstrapLambda lambda = BootstrapLambda::reselected;
  int degenerate = 0;  // draws whose responses were all equal (or a trait with fewer than 4 values), redrawn
  int failed = 0;      // replicates without a fit, left out of the spread
};

struct TraitsResults {
  int cases = 0;
  double observations = 0;              // the sum of the counts
  std::vector<std::string> names;       // the traits'
  std::vector<TraitSmooth> smooths;     // additive: one per trait
  std::optional<TraitSurface> surface;  // surface: the one smooth
  double intercept = 0;
  std::vector<std::string> coefficient_names;  // the covariates' columns: "name" or "name[level]"
  std::vector<double> coefficients;
  double edf = 0;   // 1 for the intercept, 1 per covariate column, and every smooth's edf
  double reml = 0;  // minus the Laplace-approximate log restricted likelihood (normal: scale profiled)
  double deviance = 0;
  double scale = 1;                 // the normal model's residual variance; 1 for binomial and Poisson
  int reml_iterations = 0;          // Newton steps of the choice of lambdas (0 with a fixed lnlambda)
  std::vector<double> eta, fitted;  // per case
  TraitsGradients gradients;
  Peak peak;
  std::optional<TraitsBootstrap> bootstrap;
  std::vector<std::string> warnings;  // each a line "kind: words"
};

using TraitsOutcome = std::variant<TraitsResults, Error>;

// The analysis of the traits under `settings`: its model; lnlambda, which when given fixes every
// ln(lambda) (within ln 1e-8 and ln 1e9) instead of REML's choice; the bootstrap's replicates, seed,
// type and lambda. The criterion must be REML; there is no grid. `workers` as for analyse (0: every
// processor); the results do not depend on it. `control` may stop the bootstrap (ErrorCode::interrupted)
// and is told its progress.
TraitsOutcome analyse_traits(const TraitsData& data, const Settings& settings, const TraitsModel& shape = {},
                             int workers = 0, const Control& control = {});

}  // namespace trov::api
