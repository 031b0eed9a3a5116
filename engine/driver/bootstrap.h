#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/core/fit_result.h"
#include "engine/core/points.h"
#include "engine/covariate/reboot.h"
#include "engine/driver/results.h"
#include "engine/driver/settings.h"
#include "engine/driver/workers.h"
#include "engine/fit/converged.h"
#include "engine/fit/fitter.h"
#include "engine/fit/search.h"
#include "engine/fit/selection.h"

namespace trov {

// Draws the replicate responses of the parametric bootstrap from the fit to the observed data. It owns
// the generator state and its own replicate response, so the observed data stay untouched.
class ReplicateDraws {
 public:
  ReplicateDraws(const Points& points, const FitResult& observed, Model model, std::int32_t seed);

  // Draws the next replicate whose responses are not all equal; the degenerate draws before it are
  // counted over the whole bootstrap. False once more than `limit` degenerate draws have been made.
  bool draw(int limit);

  std::span<const double> response() const { return y_; }
  int degenerate() const { return degenerate_; }

 private:
  const Points& points_;
  Model model_;
  std::vector<double> sy_;    // the observed fit, read by the first draw
  std::vector<float> syold_;  // the means the replicates are drawn around
  std::vector<double> y_;     // the observed responses, then each replicate
  RebootState state_;
  int degenerate_ = 0;
};

// What the bootstrap found: the observed data and the classic fit with its band of one standard error
// (single precision, as trov.out shows them), its counts; with the converged fits, the converged fit's
// band of one standard error from the replicates' converged refits; and the selection gradients of
// every replicate (of its converged refit where the run has them).
struct BootstrapOutcome {
  std::vector<float> yold, fitted;
  std::vector<double> lower, upper;
  int degenerate = 0;      // draws whose responses were all equal, redrawn
  int not_converged = 0;   // replicates whose classic fit stopped at maxit (models 2 and 3)
  int failed_refits = 0;   // replicates whose classic fit failed: left out of the classic band
  int converged_failed = 0;  // replicates without a converged refit: left out of the band and gradients
  std::vector<double> converged_fitted, converged_lower, converged_upper;  // empty without converged fits
  std::vector<double> lnlambda;  // each replicate's chosen ln(lambda) (lambda re-chosen per replicate)
  std::vector<SelectionGradients> gradients;

  BootstrapColumns columns(const Points& points) const { return {yold, points.x, fitted, lower, upper}; }
};

// How the replicates are refitted besides the classic fit: at the run's lambda, or at the lambda each
// chooses by the criterion (a search from the cells of 2 in ln(lambda) around the run's).
struct ReplicateRefits {
  const ConvergedFit* observed = nullptr;  // the converged fit to the observed data; null: classic only
  bool reselect = false;
  Score criterion = Score::reml;
  SearchSetting search;  // its y is replaced by each replicate's
};

// What one worker thread fits with: its fitter and, when the run writes trov.json, its converged
// fitter and (at a fixed lambda) the gradients' work.
struct WorkerFit {
  Fitter fitter;
  std::optional<ConvergedFitter> converged;
  std::optional<SelectionWork> selection;
};

// Parametric bootstrap at the run's fixed lambda: draws settings.iboot replicates from the fit to the
// observed data and refits each as the data were fitted, with the gradients of every refit where the
// workers have their work. Replicates are drawn in order, a batch at a time; the batch's refits run on
// the workers; their values are summed in replicate order, so nothing depends on the number of workers.
// A replicate whose classic refit fails is left out of the classic band and counted; too many degenerate
// draws throw their RunFault after the replicates before it are told to control.progress, as one worker
// would.
BootstrapOutcome run_bootstrap(const Settings& settings, const Points& points, double lambda,
                               const FitResult& observed, const ReplicateRefits& refits, WorkerPool& pool,
                               std::span<WorkerFit> workers, const RunControl& control);

}  // namespace trov
