#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "engine/analysis/bootstrap.h"
#include "engine/analysis/faults.h"
#include "engine/analysis/workers.h"
#include "engine/core/design.h"
#include "engine/core/fit_result.h"
#include "engine/core/points.h"
#include "engine/core/settings.h"
#include "engine/fit/converged.h"
#include "engine/fit/search.h"
#include "engine/fit/selection.h"

namespace trov {

// What a run computes.
struct RunOptions {
  bool report = true;      // the report's values: the selection gradients
  bool classic = true;     // the classic fits of trov.out
  bool converged = true;   // with the report, the converged fits
  bool likelihood = true;  // with the converged fits, their REML and ML scores and searches
  bool pinned = false;     // each worker on a processor of its own (see WorkerPool)
};

// The pooled points of a run, checked against the model, with the covariate's design and grouping:
// what every fit of the run reads; and, for a bootstrap that draws cases, the cases before pooling.
struct RunData {
  Points points;
  std::optional<Covariate> covariate{};
  std::int64_t observations = 0;  // the sum of the counts
  std::optional<Points> cases{};

  const Covariate* with() const { return covariate ? &*covariate : nullptr; }
  const Design* design() const { return covariate ? &covariate->design : nullptr; }
};

// Checks the pooled points against the model and builds the covariate's design; throws the RunFault
// of data the run cannot take.
RunData prepare_run(Points points, const Settings& settings, bool covariate,
                    std::optional<Points> cases = std::nullopt);

// A line of the grid (or the fixed lambda's): the numbers of the classic fit and of the converged fit
// at the same lambda where the run makes them, with the largest difference of their means.
struct AnalysisRow {
  double lnlambda = 0;
  std::optional<FitResult> classic{};
  std::optional<ConvergedFit> converged{};
  double difference = 0;
};

// The classic fits that stopped the run: their fault, at the row (of the grid, or the fixed lambda)
// where it came; the converged analysis goes on.
struct ClassicStop {
  RunFault fault;
  std::size_t row = 0;
};

// Everything one run computed. A run that met a fault keeps what came before it.
struct Analysis {
  std::vector<AnalysisRow> rows;                              // every lambda of the grid, or the fixed one
  std::vector<std::pair<Criterion, RefinedMinimum>> refined;  // the converged scores' refined minima
  bool one_lambda = false;                                    // a run at the fixed lambda, not a grid
  // one lambda: the classic fit and the converged one (at the lambda the observed data choose, where a
  // bootstrap re-chooses lambda), with the gradients of both and the converged fit's dispersion
  std::optional<FitResult> fit;
  std::optional<ConvergedFit> converged;
  std::optional<SelectionGradients> gradients;  // of the converged fit, when it ended ok
  std::optional<SelectionGradients> classic_gradients;
  std::optional<double> dispersion;
  std::optional<BootstrapOutcome> bootstrap;
  std::optional<ClassicStop> classic_stop;
  std::optional<RunFault> fault;
};

// The largest difference between the fitted means of a classic fit and the converged fit.
double largest_difference(const FitResult& classic, const ConvergedFit& converged);

// The scores of a grid's converged fits that a run searches for their smallest values: GCV, OCV
// (no covariate), UBRE (models 2 and 3), REML and ML.
std::vector<Criterion> searched_scores(Model model, bool covariate, bool likelihood);

// The Pearson dispersion of a converged fit, sum N (y - mu)^2 / V(mu) over (points - edf), for the
// Poisson model and for the binomial model whose cases count several trials, two or more a point on
// average: none elsewhere, where it is 1 by the model or tells nothing (0/1 cases).
std::optional<double> pearson_dispersion(const Points& points, const ConvergedFit& fit, Model model);

// How many of `workers` a run takes whose workers hold `workspace` bytes each: as many as fit their
// workspaces into 512 MB together, at least one.
int workers_within_budget(std::size_t workspace, int workers);

// Computes one run: the grid with its refined minima, or the fit at the fixed lambda with its
// gradients and bootstrap, on `workers` threads (results do not depend on their number). It writes
// nothing; a fault ends it with Analysis::fault set (a fault of the classic fits with
// Analysis::classic_stop, the converged analysis complete), a stop asked by `control` throws
// RunStopped.
Analysis analyse_run(const RunData& data, const Settings& settings, const RunOptions& what, int workers,
                     const RunControl& control);

}  // namespace trov
