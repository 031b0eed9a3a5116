#include "engine/driver/bootstrap.h"

#include <cmath>
#include <vector>

#include "common/error_stop.h"
#include "common/list_writer.h"
#include "engine/spline/links.h"

namespace trov {

void run_bootstrap(Run& run, ResultsFile& out) {
  const Settings& s = run.settings;
  Points& p = run.points;
  const int n = p.n;
  const bool covariate = run.M > 0;
  // single precision: the observed data, the fit and the sums are kept as 32-bit reals
  std::vector<float> yold(static_cast<std::size_t>(n)), syold(yold.size()), sycold(yold.size());
  std::vector<float> mboot(yold.size(), 0.0f), vboot(yold.size(), 0.0f);
  for (int i = 0; i < n; ++i) {
    yold[i] = static_cast<float>(p.y[i]);
    syold[i] = static_cast<float>(run.sy[i]);
    sycold[i] = static_cast<float>(run.syc[i]);
  }

  int ndegen = 0;
  for (int ib = 1; ib <= s.iboot; ++ib) {
    while (true) {  // degenerate draws are not replicates; they count over the whole loop
      reboot(p.y, run.sy, syold, p.irep, n, s.model, run.reboot_state, run.seed);
      if (!vartest(p.y, n)) break;
      if (++ndegen > s.iboot) error_stop("Too many degenerate random samples (> #bootstraps)");
    }
    if (covariate) compressy(p.y, p.irep, run.groups, run.ycompress);
    fit_at_lambda(run);
    for (int i = 0; i < n; ++i) {
      double v;
      if (!covariate)
        v = s.model == 1 ? run.sy[i] : run.snu[i];
      else
        v = s.model == 1 ? run.syc[i] : ytonu(run.syc[i], s.model);
      mboot[i] = static_cast<float>(mboot[i] + v);
      vboot[i] = static_cast<float>(vboot[i] + v * v);
    }
    if (ib % 100 == 0) say(ListWriter().integer(ib));
  }

  // standard deviation with divisor iboot, in single precision, on the scale that was accumulated
  const auto replicates = static_cast<float>(s.iboot);
  std::vector<double> lower(yold.size()), upper(yold.size());
  const std::vector<float>& fitted = covariate ? sycold : syold;
  for (int i = 0; i < n; ++i) {
    float variance = (vboot[i] - mboot[i] * mboot[i] / replicates) / replicates;
    if (variance < 0.0f) variance = 0.0f;
    float se = std::sqrt(variance);
    if (s.model == 1) {
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
  out.bootstrap_section(run.M, s.iboot, ndegen, n, {yold, p.x, fitted, lower, upper});
}

}  // namespace trov
