#pragma once

// trov as a library: one call that analyses one data set and returns its results, or an error. It
// writes nothing, never ends the process and keeps no state between calls, so calls may run side by
// side on threads of their own.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/core/error_code.h"
#include "engine/core/settings.h"

namespace trov::api {

// The model, the criteria, the bootstrap's choices and the settings are the engine's own
// (engine/core/settings.h).
using trov::BootstrapLambda;
using trov::BootstrapType;
using trov::Criterion;
using trov::Model;
using trov::Settings;

// The cases, one value each in every column that is not empty. n: the count of each case (binomial:
// trials, y then the proportion of them that survived; other models: a weight); empty for 1 each. With
// a covariate, its value per case. Every value must be finite; cases are pooled by equal X (and
// covariate value) as the engine always does.
struct Data {
  std::vector<double> x, y;
  std::vector<double> n;
  std::vector<double> covariate;
};

// A refused analysis: a numbered code from one table (engine/core/error_code.h; error_text gives each
// its words) and the text of this case.
using trov::ErrorCode;
std::string error_text(ErrorCode code);

struct Error {
  ErrorCode code;
  std::string text;  // the engine's message, lines joined by line ends
};

// A score's smallest value, refined between and beyond the grid's lambdas. limit: "" for a minimum,
// "linear" or "interpolating" where the fits reached a straight line or ran through every point.
struct Minimum {
  Criterion criterion;
  double lnlambda = 0, score = 0, edf = 0;
  std::string limit;
};

// The answer to report: the refined minimum of the chosen criterion, and a sentence that says it.
struct Recommended {
  Criterion criterion;
  double lnlambda = 0, edf = 0;
  std::string limit;
  std::string text;
};

// One lambda of the grid: the classic fit's numbers (NaN without classic fits) and the converged fit's
// (NaN where it failed).
struct GridRow {
  double lnlambda = 0;
  double classic_edf = 0, classic_gcv = 0, classic_ocv = 0;  // ocv NaN with a covariate
  int classic_iterations = 0;
  bool converged_ok = false;
  double edf = 0, gcv = 0, ocv = 0, ubre = 0, reml = 0, ml = 0, deviance = 0;
  double largest_difference = 0;  // of the fitted means, classic against converged
};

// One point of the fit at one lambda: cases pooled by equal X (and covariate value).
struct FittedPoint {
  double x = 0, covariate = 0;  // covariate 0 without one
  double n = 0;                 // the sum of the cases' counts
  double y = 0;                 // the counts' weighted mean of Y
  double fitted = 0, eta = 0;   // the converged fit's mean and linear predictor (NaN if it failed)
  double classic_fitted = 0;    // the classic fit's mean (NaN without classic fits)
  // with a bootstrap: the converged fit's band of one standard error on the mean's scale (NaN without)
  double lower = 0, upper = 0;
};

// A gradient with its bootstrap spread (se, p and the 95% limits NaN without a bootstrap).
struct Estimate {
  double value = 0, se = 0, p = 0, lower = 0, upper = 0;
};

// The fitted function's highest point, where it lies inside the data: strictly within every trait's
// range (two traits: also within the convex hull of the individuals) and with the function falling
// away from it in every direction (one trait: a local maximum above the fitness at both ends). Each estimate
// with its bootstrap spread over the replicates whose own function has such a peak (`replicates` of them).
struct Peak {
  bool inside = false;             // false: "none inside the data"
  std::vector<Estimate> location;  // per trait (empty unless inside)
  Estimate height;                 // the fitness there (covariates at their mean effect)
  int replicates = 0;
};

// The selection gradients of the fitted function (the converged fit's), beside the regression
// estimates on the standardized trait. At the linear limit (the fit a straight line on the link scale:
// no curvature was found) gamma reflects the link alone, and its P (and the standardized ones') is NaN.
struct Gradients {
  double mean_fitness = 0, trait_mean = 0, trait_sd = 0;
  bool linear_limit = false;
  Estimate beta{}, gamma{}, beta_standardized{}, gamma_standardized{};
  Estimate beta_mean_standardized{}, gamma_mean_standardized{};  // NaN unless every trait value is positive
  Estimate lande_arnold_beta{}, lande_arnold_gamma{};
  double classic_beta = 0, classic_gamma = 0;  // of the classic fit, for comparison (NaN without)
  Peak peak{};                                 // of the converged fit
};

struct Bootstrap {
  int replicates = 0;
  BootstrapType type = BootstrapType::parametric;
  int degenerate = 0, not_converged = 0, failed_refits = 0;  // of the classic replicates
  int converged_degenerate = 0, converged_failed = 0;
  std::vector<double> lnlambda{};  // each replicate's chosen ln(lambda) (bootstrap_lambda reselected)
};

// The fit at one lambda (the fixed one, or the recommended one after a grid).
struct Fit {
  double lnlambda = 0;  // the fit's: with lambda re-chosen by a bootstrap, where the observed data chose it
  bool converged_ok = false;
  double edf = 0;
  double dispersion = 0;  // Pearson's, for Poisson and binomial counts (NaN where it does not apply)
  std::vector<FittedPoint> points{};
  std::vector<double> coefficients{};  // the covariate's, as the engine lays them out (empty without)
  // A categorical covariate's levels (its distinct values) in increasing order, and each one's effect on
  // the linear predictor relative to the first's (0 for it). The engine lays its coefficients out in the
  // order the points meet the levels, relative to the first met; differences of effects do not depend
  // on which level is the reference (the spline carries the constant).
  std::vector<double> levels{}, level_effects{};
  std::optional<Gradients> gradients{};  // none where the converged fit failed
  std::optional<Bootstrap> bootstrap{};
};

// What the document of an analysis is written from (engine/api/trov.cpp).
struct RunRecord;

struct Results {
  int cases = 0, points = 0;
  double observations = 0;      // the sum of the counts
  std::vector<GridRow> grid{};  // empty for one lambda
  std::vector<Minimum> minima{};
  std::optional<Recommended> recommended{};
  std::optional<Fit> fit{};
  std::vector<std::string> warnings{};  // each a line "kind: words", as trov.json's
  // what report_text writes the analysis's trov.json document from (its last run, after a grid)
  std::shared_ptr<const RunRecord> record{};
};

// The whole trov.json document of the analysis (of its last run, after a grid), as trov40 writes it
// for the same data and settings; its data file named "". Empty for results without a record.
std::string report_text(const Results& results);

// How a long analysis reports and is stopped. progress(done, total) is called as bootstrap
// replicates are done, in order, from the calling thread (by analyse_many: as traits are done, one
// call at a time, from its workers); `stop`, when set true from anywhere, ends the analysis soon with
// ErrorCode::stopped.
struct Control {
  std::function<void(int done, int total)> progress;
  const std::atomic<bool>* stop = nullptr;
};

using Outcome = std::variant<Results, Error>;

// The threads an analysis runs on when `workers` are asked for: a whole number from 0, 0 for every
// processor this process may use (its CPU affinity), more than those capped to them. Anything else
// (negative, fractional, not a number) is refused with ErrorCode::settings. analyse and analyse_many
// take their `workers` by this rule; a caller whose users give the number checks it here first.
std::variant<int, Error> worker_threads(double workers);

// The analysis on `workers` threads, by the rule of worker_threads. The results do not depend on the
// number of workers.
Outcome analyse(const Data& data, const Settings& settings, int workers = 0, const Control& control = {});

// One response and many traits: each trait (a column of x values, one per case) analysed on its own
// as by analyse, the traits spread over the workers. Each outcome is exactly that trait's own (each
// the same error where `workers` is refused).
std::vector<Outcome> analyse_many(const std::vector<std::vector<double>>& traits,
                                  const std::vector<double>& y, const std::vector<double>& n,
                                  const std::vector<double>& covariate, const Settings& settings,
                                  int workers = 0, const Control& control = {});

}  // namespace trov::api
