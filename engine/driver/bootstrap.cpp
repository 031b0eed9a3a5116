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

void run_bootstrap(const Settings& s, const Points& points, double lambda, const FitResult& observed,
                   Fitter& fitter, ResultsFile& out) {
  const int n = points.n;
  const bool covariate = fitter.covariate();
  // single precision: the observed data, the fit and the sums are kept as 32-bit reals
  const std::vector<float> yold(points.y.begin(), points.y.end());
  const std::vector<float> sycold(observed.syc.begin(), observed.syc.end());
  ReplicateDraws draws(points, observed, s.model, s.seed);
  std::vector<float> mboot(yold.size(), 0.0f), vboot(yold.size(), 0.0f);

  for (int ib = 1; ib <= s.iboot; ++ib) {
    if (!draws.draw(s.iboot)) stop_run(Fault::too_many_degenerate);
    const FitResult& refit = fitter.fit(lambda, draws.response());
    check_fit(refit);
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
  std::vector<double> lower(yold.size()), upper(yold.size());
  const std::span<const float> fitted = covariate ? std::span<const float>(sycold) : draws.fitted();
  for (int i = 0; i < n; ++i) {
    float variance = (vboot[i] - mboot[i] * mboot[i] / replicates) / replicates;
    if (variance < 0.0f) variance = 0.0f;
    float se = std::sqrt(variance);
    if (s.model == Model::normal) {
      lower[i] = fitted[i] - se;  // single-precision difference
      upper[i] = fitted[i] + se;
    } else {
      // the band is built on the linear-predictor scale, on copies so the fit itself is not limited
      double f = fitted[i];
      double nu_low = ytonu(f, s.model) - se;
      f = fitted[i];
      double nu_high = ytonu(f, s.model) + se;
      lower[i] = nutoy(nu_low, s.model);
      upper[i] = nutoy(nu_high, s.model);
    }
  }
  out.bootstrap_section(s, covariate, draws.degenerate(), {yold, points.x, fitted, lower, upper});
}

}  // namespace trov
