#include "engine/driver/bootstrap.h"

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

BootstrapOutcome run_bootstrap(const Settings& s, const Points& points, double lambda,
                               const FitResult& observed, Fitter& fitter, SelectionWork* selection) {
  const int n = points.n;
  const bool covariate = fitter.covariate();
  BootstrapOutcome outcome;
  // single precision: the observed data, the fit and the sums are kept as 32-bit reals
  outcome.yold.assign(points.y.begin(), points.y.end());
  outcome.fitted.assign(covariate ? observed.syc.begin() : observed.sy.begin(),
                        covariate ? observed.syc.end() : observed.sy.end());
  ReplicateDraws draws(points, observed, s.model, s.seed);
  std::vector<float> mboot(outcome.yold.size(), 0.0f), vboot(outcome.yold.size(), 0.0f);
  if (selection) outcome.gradients.reserve(static_cast<std::size_t>(s.iboot));

  for (int ib = 1; ib <= s.iboot; ++ib) {
    if (!draws.draw(s.iboot)) stop_run(Fault::too_many_degenerate);
    const FitResult& refit = fitter.fit(lambda, draws.response());
    check_fit(refit);
    if (s.model != Model::normal && refit.iterations >= s.maxit) ++outcome.not_converged;
    if (selection) outcome.gradients.push_back(selection->gradients(refit, s.model));
    for (int i = 0; i < n; ++i) {
      double v;
      if (!covariate) {
        v = s.model == Model::normal ? refit.sy[i] : refit.snu[i];
      } else {
        v = refit.syc[i];
        if (s.model != Model::normal) v = ytonu(v, s.model);
      }
      mboot[i] = static_cast<float>(mboot[i] + v);
      vboot[i] = static_cast<float>(vboot[i] + v * v);
    }
    if (ib % 100 == 0) say(progress_message(ib));
  }

  // standard deviation with divisor iboot, in single precision, on the scale that was accumulated
  const auto replicates = static_cast<float>(s.iboot);
  outcome.lower.resize(outcome.yold.size());
  outcome.upper.resize(outcome.yold.size());
  for (int i = 0; i < n; ++i) {
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
