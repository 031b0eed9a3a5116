#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "engine/analysis/workers.h"
#include "engine/core/fit_result.h"
#include "engine/core/points.h"
#include "engine/core/settings.h"
#include "engine/covariate/reboot.h"
#include "engine/fit/converged.h"
#include "engine/fit/fitter.h"
#include "engine/fit/search.h"
#include "engine/fit/selection.h"

namespace trov {

// Draws the replicate responses of the parametric bootstrap around fitted means (per point). It owns
// the generator state and its own replicate response, so the observed data stay untouched.
class ReplicateDraws {
 public:
  ReplicateDraws(const Points& points, std::span<const double> fitted, Model model, std::int32_t seed);

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

// Draws the data's cases with replacement, as many as there are, from a generator of its own seeded by
// the run's seed (the same on every platform): each replicate the indices of its cases.
class CaseDraws {
 public:
  CaseDraws(int cases, std::int32_t seed);
  void draw(std::span<int> indices);

 private:
  std::mt19937_64 generator_;
  std::uint64_t cases_;
};

// What the bootstrap found. The classic part, where the run makes classic fits: the observed data and
// the classic fit with its band of one standard error (single precision, as trov.out shows them) and
// its counts. The converged part, where the observed data have a converged fit: that fit's band of one
// standard error from the replicates' converged refits, and the selection gradients of every replicate
// (of its classic refit where there is no converged fit to the data).
struct BootstrapOutcome {
  std::vector<float> yold, fitted;
  std::vector<double> lower, upper;
  int degenerate = 0;            // classic draws whose responses were all equal, redrawn
  int not_converged = 0;         // replicates whose classic fit stopped at maxit (models 2 and 3)
  int failed_refits = 0;         // replicates whose classic fit failed: left out of the classic band
  int converged_degenerate = 0;  // converged draws whose responses were all equal (or too few X), redrawn
  bool converged_too_many_degenerate = false;  // more such draws than replicates: no converged band
  int converged_failed = 0;  // replicates without a converged refit: left out of the band and gradients
  std::vector<double> converged_fitted, converged_lower, converged_upper;  // empty without converged fits
  std::optional<double> centre_lnlambda;  // lambda re-chosen: the observed data's own choice, the centre
  bool centre_moved = false;              // ... whose fit differs from the run's lambda's (its edf by 1e-3)
  std::vector<double> lnlambda;           // each replicate's chosen ln(lambda) (lambda re-chosen)
  std::vector<SelectionGradients> gradients;
  bool classic() const { return !yold.empty(); }
};

// How the converged replicates are drawn and refitted: by the parametric bootstrap around the
// observed data's converged fit or by drawing the data's cases, each replicate smoothed at the run's
// lambda or at the lambda it chooses by the criterion (a search from the cells of 2 in ln(lambda) around
// the run's, as the observed data's centre is chosen too).
struct ReplicateRefits {
  const ConvergedFit* observed = nullptr;  // the converged fit to the observed data; null: classic only
  bool reselect = false;
  Criterion criterion = Criterion::reml;
  SearchSetting search;  // its y is replaced by each replicate's
  BootstrapType type = BootstrapType::parametric;
  const Points* cases = nullptr;  // the data's cases before pooling (BootstrapType::cases)
  const Covariate* covariate = nullptr;
  bool categorical = false;
};

// The ln(lambda) that the responses y choose by the criterion of `refits`: the search from the fits at
// lnlambda - 2, lnlambda and lnlambda + 2, the first started from `start`. None without a finite score.
std::optional<double> reselect_lambda(ConvergedFitter& converged, double lnlambda, std::span<const double> y,
                                      const ConvergedFit& start, const ReplicateRefits& refits);

// What one worker thread fits with: its fitter where the run makes classic fits, and where it
// makes converged fits its converged fitter and (at a fixed lambda) the gradients' work.
struct WorkerFit {
  std::optional<Fitter> fitter;
  std::optional<ConvergedFitter> converged;
  std::optional<SelectionWork> selection;
};

// The bootstrap at the run's fixed lambda: settings.bootstrap replicates, each refitted as the data were
// fitted, with the gradients of every refit where the workers have their work. The classic replicates
// (classic non-null) are drawn around the classic fit and refitted classically at the run's lambda;
// the converged ones are drawn as `refits` says. Replicates are drawn in order, a batch at a time; the
// batch's refits run on the workers; their values are summed in replicate order, so nothing depends on
// the number of workers. A replicate whose classic refit fails is left out of the classic band and
// counted; too many degenerate classic draws throw their RunFault after the replicates before it are
// told to control.progress, as one worker would.
BootstrapOutcome run_bootstrap(const Settings& settings, const Points& points, double lambda,
                               const FitResult* classic, const ReplicateRefits& refits, WorkerPool& pool,
                               std::span<WorkerFit> workers, const RunControl& control);

}  // namespace trov
