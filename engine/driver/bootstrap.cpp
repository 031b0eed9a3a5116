#include "engine/driver/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/driver/data.h"
#include "engine/driver/messages.h"
#include "engine/spline/links.h"

namespace trov {

ReplicateDraws::ReplicateDraws(const Points& points, const FitResult& observed, Model model,
                               std::int32_t seed)
    : points_(points),
      model_(model),
      sy_(observed.sy),
      syold_(observed.sy.begin(), observed.sy.end()),  // single precision
      y_(points.y),
      state_(seed) {}

bool ReplicateDraws::draw(int limit) {
  while (true) {  // degenerate draws are not replicates; they count over the whole loop
    reboot(y_, sy_, syold_, points_.irep, points_.n, model_, state_);
    if (!vartest(y_, points_.n)) return true;
    if (++degenerate_ > limit) return false;
  }
}

namespace {

// Replicates in flight at once: enough to keep every worker busy and to leave few batches, each of
// which ends waiting for its slowest refit, few enough to bound the memory of their responses (this
// batch's and the next's) and values (classic and converged).
int batch_size(int workers, int points) {
  constexpr std::size_t kMostBatchValues = 4'000'000;  // doubles of responses and values: 32 MB
  const auto most = static_cast<int>(kMostBatchValues / (4 * static_cast<std::size_t>(std::max(points, 1))));
  return std::max(1, std::min(64 * workers, most));
}

}  // namespace

namespace {

// The converged fit's value on the linear-predictor scale (the mean for the normal model), at the
// case-weighted mean covariate effect where there is a covariate: the scale of the band.
void corrected_link(const ConvergedFit& fit, const Points& points, std::span<double> values) {
  double effect = 0, cases = 0;
  for (std::size_t i = 0; i < fit.effect.size(); ++i) {
    effect += points.irep[i] * fit.effect[i];
    cases += points.irep[i];
  }
  if (!fit.effect.empty()) effect /= cases;
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = fit.effect.empty() ? fit.eta[i] : fit.eta[i] - fit.effect[i] + effect;
}

// The converged refit of one replicate: at the run's lambda from the classic refit, or at the lambda
// the replicate chooses (the search from the rows at lnlambda - 2, lnlambda and lnlambda + 2); null when
// no fit ended ok.
const ConvergedFit* converged_refit(WorkerFit& w, double lnlambda, std::span<const double> y,
                                    const ReplicateRefits& refits, double& chosen) {
  const double lambda = std::exp(lnlambda);
  chosen = lnlambda;
  if (!refits.reselect) {
    const ConvergedFit& fit = w.converged->fit(lambda, y, *refits.observed);
    return fit.ok ? &fit : nullptr;
  }
  double rows_lnlambda[3], rows_score[3], rows_edf[3];
  for (int r = 0; r < 3; ++r) {
    rows_lnlambda[r] = lnlambda + 2 * (r - 1);
    const double at = std::exp(rows_lnlambda[r]);
    const ConvergedFit& fit = r == 0 ? w.converged->fit(at, y, *refits.observed) : w.converged->refit(at, y);
    rows_score[r] = fit.ok ? fit.*member_of(refits.criterion) : NAN;
    rows_edf[r] = fit.edf;
  }
  SearchSetting setting = refits.search;
  setting.y = y;
  const std::optional<RefinedMinimum> found = search_minimum(
      *w.converged, w.fitter, {rows_lnlambda, rows_score, rows_edf}, refits.criterion, setting);
  if (!found || !found->ok()) return nullptr;
  chosen = found->lnlambda;
  const ConvergedFit& fit = w.converged->refit(std::exp(chosen), y);
  return fit.ok ? &fit : nullptr;
}

}  // namespace

BootstrapOutcome run_bootstrap(const Settings& s, const Points& points, double lambda,
                               const FitResult& observed, const ReplicateRefits& refits, WorkerPool& pool,
                               std::span<WorkerFit> workers, const RunControl& control) {
  const int n = points.n;
  const auto size = static_cast<std::size_t>(n);
  const bool covariate = workers.front().fitter.covariate();
  const bool gradients = workers.front().selection.has_value();
  const bool converged = refits.observed != nullptr && workers.front().converged.has_value();
  const double lnlambda = std::log(lambda);
  BootstrapOutcome outcome;
  // single precision: the observed data, the fit and the sums are kept as 32-bit reals
  outcome.yold.assign(points.y.begin(), points.y.end());
  outcome.fitted.assign(covariate ? observed.syc.begin() : observed.sy.begin(),
                        covariate ? observed.syc.end() : observed.sy.end());
  ReplicateDraws draws(points, observed, s.model, s.seed);
  std::vector<float> mboot(size, 0.0f), vboot(size, 0.0f);
  if (gradients) outcome.gradients.reserve(static_cast<std::size_t>(s.iboot));
  // the converged band: sums of the replicates' deviations from the observed converged fit, on the
  // linear-predictor scale
  std::vector<double> centre(converged ? size : 0), shift_sum(centre.size()), shift_squares(centre.size());
  if (converged) corrected_link(*refits.observed, points, centre);
  int converged_count = 0, classic_count = 0;

  // What each replicate of a batch leaves: its response, the values to sum, how its fits ended. The
  // responses of the next batch are drawn while this batch is refitted: two sets of responses.
  const int batch = batch_size(pool.size(), n);
  std::vector<double> responses(static_cast<std::size_t>(batch) * size), next_responses(responses.size());
  std::vector<double> values(responses.size()), converged_values(converged ? responses.size() : 0);
  std::vector<FitStatus> status(static_cast<std::size_t>(batch));
  std::vector<int> iterations(status.size());
  std::vector<char> converged_ok(status.size());
  std::vector<double> chosen(status.size());
  std::vector<SelectionGradients> batch_gradients(status.size());
  const auto refit = [&](int worker, int j) {
    WorkerFit& w = workers[static_cast<std::size_t>(worker)];
    const auto row = static_cast<std::size_t>(j) * size;
    const std::span<const double> y = std::span(responses).subspan(row, size);
    const FitResult& fit = w.fitter.fit(lambda, y);
    status[j] = fit.status;
    iterations[j] = fit.iterations;
    if (fit.status == FitStatus::ok) {
      for (std::size_t i = 0; i < size; ++i) {
        double v;
        if (!covariate) {
          v = s.model == Model::normal ? fit.sy[i] : fit.snu[i];
        } else {
          v = fit.syc[i];
          if (s.model != Model::normal) v = ytonu(v, s.model);
        }
        values[row + i] = v;
      }
      if (w.selection && !converged) batch_gradients[j] = w.selection->gradients(y, fit, s.model);
    }
    if (!converged) return;
    const ConvergedFit* penalized = converged_refit(w, lnlambda, y, refits, chosen[j]);
    converged_ok[j] = penalized != nullptr;
    if (!penalized) return;
    corrected_link(*penalized, points, std::span(converged_values).subspan(row, size));
    if (w.selection) batch_gradients[j] = w.selection->gradients(y, *penalized, s.model);
  };
  // Draws up to `wanted` replicates in order into next_responses; how many, and whether the degenerate
  // draws ran out after them.
  struct Drawn {
    int count = 0;
    bool too_many_degenerate = false;
  };
  const auto draw_batch = [&](int wanted) {
    Drawn drawn;
    for (; drawn.count < wanted; ++drawn.count) {
      if (!draws.draw(s.iboot)) {
        drawn.too_many_degenerate = true;
        break;
      }
      std::copy(draws.response().begin(), draws.response().end(),
                next_responses.begin() + static_cast<std::ptrdiff_t>(drawn.count) * n);
    }
    return drawn;
  };

  Drawn next = draw_batch(std::min(batch, s.iboot));
  for (int first = 1; first <= s.iboot;) {
    const Drawn current = next;
    std::swap(responses, next_responses);
    // item 0 draws the next batch (when one follows), the others refit this one
    const int following =
        current.too_many_degenerate ? 0 : std::min(batch, s.iboot - first + 1 - current.count);
    const int draw_item = following > 0 ? 1 : 0;
    pool.run(current.count + draw_item, [&](int worker, int item) {
      if (item < draw_item) {
        next = draw_batch(following);
      } else {
        refit(worker, item - draw_item);
      }
    });
    for (int j = 0; j < current.count; ++j) {
      const auto row = static_cast<std::size_t>(j) * size;
      if (status[j] == FitStatus::ok) {
        ++classic_count;
        if (s.model != Model::normal && iterations[j] >= s.maxit) ++outcome.not_converged;
        for (std::size_t i = 0; i < size; ++i) {
          const double v = values[row + i];
          mboot[i] = static_cast<float>(mboot[i] + v);
          vboot[i] = static_cast<float>(vboot[i] + v * v);
        }
      } else {
        ++outcome.failed_refits;
      }
      if (converged && converged_ok[j]) {
        ++converged_count;
        for (std::size_t i = 0; i < size; ++i) {
          const double d = converged_values[row + i] - centre[i];
          shift_sum[i] += d;
          shift_squares[i] += d * d;
        }
        if (refits.reselect) outcome.lnlambda.push_back(chosen[j]);
      } else if (converged) {
        ++outcome.converged_failed;
      }
      if (gradients && (converged ? converged_ok[j] != 0 : status[j] == FitStatus::ok))
        outcome.gradients.push_back(batch_gradients[j]);
      if (control.progress) control.progress(first + j, s.iboot);
    }
    if (current.too_many_degenerate) throw RunFault{.fault = Fault::too_many_degenerate};
    if (control.stopped()) throw RunStopped{};
    first += current.count;
  }

  // standard deviation with divisor the replicates summed (iboot unless refits failed), in single
  // precision, on the scale that was accumulated
  const auto replicates = static_cast<float>(classic_count);
  outcome.lower.resize(size);
  outcome.upper.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
    float variance = classic_count > 0 ? (vboot[i] - mboot[i] * mboot[i] / replicates) / replicates : 0.0f;
    if (variance < 0.0f) variance = 0.0f;
    const float se = std::sqrt(variance);
    const float fitted = outcome.fitted[i];
    if (s.model == Model::normal) {
      outcome.lower[i] = fitted - se;  // single-precision difference
      outcome.upper[i] = fitted + se;
    } else {
      // the band is built on the linear-predictor scale, on copies so the fit itself is not limited
      double f = fitted;
      double nu_low = ytonu(f, s.model) - se;
      f = fitted;
      double nu_high = ytonu(f, s.model) + se;
      outcome.lower[i] = nutoy(nu_low, s.model);
      outcome.upper[i] = nutoy(nu_high, s.model);
    }
  }
  if (converged) {
    // the same band about the converged fit, in double precision and without the limits of the links
    const auto mean_of = [&](double eta) {
      return s.model == Model::binomial  ? 1 / (1 + std::exp(-eta))
             : s.model == Model::poisson ? std::exp(eta)
                                         : eta;
    };
    for (std::size_t i = 0; i < size; ++i) {
      const double b = converged_count, mean = converged_count > 0 ? shift_sum[i] / b : 0;
      const double se =
          converged_count > 0 ? std::sqrt(std::max(0.0, shift_squares[i] / b - mean * mean)) : 0;
      outcome.converged_fitted.push_back(mean_of(centre[i]));
      outcome.converged_lower.push_back(mean_of(centre[i] - se));
      outcome.converged_upper.push_back(mean_of(centre[i] + se));
    }
  }
  outcome.degenerate = draws.degenerate();
  return outcome;
}

}  // namespace trov
