#include "engine/driver/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/list_writer.h"
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

// Replicates in flight at once: enough to keep every worker busy, few enough to bound the memory of
// their responses and values.
int batch_size(int workers, int points) {
  constexpr std::size_t kMostBatchValues = 4'000'000;  // doubles of responses and values: 32 MB
  const auto most = static_cast<int>(kMostBatchValues / (2 * static_cast<std::size_t>(std::max(points, 1))));
  return std::max(1, std::min(16 * workers, most));
}

}  // namespace

BootstrapOutcome run_bootstrap(const Settings& s, const Points& points, double lambda,
                               const FitResult& observed, WorkerPool& pool, std::span<WorkerFit> workers) {
  const int n = points.n;
  const auto size = static_cast<std::size_t>(n);
  const bool covariate = workers.front().fitter.covariate();
  const bool gradients = workers.front().selection.has_value();
  BootstrapOutcome outcome;
  // single precision: the observed data, the fit and the sums are kept as 32-bit reals
  outcome.yold.assign(points.y.begin(), points.y.end());
  outcome.fitted.assign(covariate ? observed.syc.begin() : observed.sy.begin(),
                        covariate ? observed.syc.end() : observed.sy.end());
  ReplicateDraws draws(points, observed, s.model, s.seed);
  std::vector<float> mboot(size, 0.0f), vboot(size, 0.0f);
  if (gradients) outcome.gradients.reserve(static_cast<std::size_t>(s.iboot));

  // What each replicate of a batch leaves: its response, the values to sum, how its fit ended. The
  // responses of the next batch are drawn while this batch is refitted: two sets of responses.
  const int batch = batch_size(pool.size(), n);
  std::vector<double> responses(static_cast<std::size_t>(batch) * size), next_responses(responses.size());
  std::vector<double> values(responses.size());
  std::vector<FitStatus> status(static_cast<std::size_t>(batch));
  std::vector<int> failed_column(status.size()), iterations(status.size());
  std::vector<SelectionGradients> batch_gradients(status.size());
  ProgressLines progress(s.iboot);
  const auto refit = [&](int worker, int j) {
    WorkerFit& w = workers[static_cast<std::size_t>(worker)];
    const auto row = static_cast<std::size_t>(j) * size;
    const FitResult& fit = w.fitter.fit(lambda, std::span(responses).subspan(row, size));
    progress.item_done();
    status[j] = fit.status;
    failed_column[j] = fit.failed_column;
    if (fit.status != FitStatus::ok) return;
    iterations[j] = fit.iterations;
    if (w.selection) batch_gradients[j] = w.selection->gradients(fit, s.model);
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
    const int following = current.too_many_degenerate ? 0 : std::min(batch, s.iboot - first + 1 - current.count);
    const int draw_item = following > 0 ? 1 : 0;
    pool.run(current.count + draw_item, [&](int worker, int item) {
      if (item < draw_item)
        next = draw_batch(following);
      else
        refit(worker, item - draw_item);
    });
    for (int j = 0; j < current.count; ++j) {
      check_fit(status[j], failed_column[j]);
      if (s.model != Model::normal && iterations[j] >= s.maxit) ++outcome.not_converged;
      if (gradients) outcome.gradients.push_back(batch_gradients[j]);
      const auto row = static_cast<std::size_t>(j) * size;
      for (std::size_t i = 0; i < size; ++i) {
        const double v = values[row + i];
        mboot[i] = static_cast<float>(mboot[i] + v);
        vboot[i] = static_cast<float>(vboot[i] + v * v);
      }
      if ((first + j) % 100 == 0) say(progress_message(first + j));
    }
    if (current.too_many_degenerate) stop_run(Fault::too_many_degenerate);
    first += current.count;
  }

  // standard deviation with divisor iboot, in single precision, on the scale that was accumulated
  const auto replicates = static_cast<float>(s.iboot);
  outcome.lower.resize(size);
  outcome.upper.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
    float variance = (vboot[i] - mboot[i] * mboot[i] / replicates) / replicates;
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
  outcome.degenerate = draws.degenerate();
  return outcome;
}

}  // namespace trov
