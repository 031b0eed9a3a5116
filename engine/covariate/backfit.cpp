#include "engine/covariate/backfit.h"

#include <algorithm>
#include <cmath>

#include "engine/covariate/matrix.h"
#include "engine/spline/links.h"

namespace trov {

namespace {

constexpr double kComponentLimit = 12;  // each component of nu stays within +-12

// Working residual (Y - mu)/phi, limited to [-reslim, reslim].
double working_residual(double observed, double mean, double phi, double reslim) {
  return std::clamp((observed - mean) / phi, -reslim, reslim);
}

// Convergence of an inner loop: limits each value of a component to +-12 in place and follows its
// largest change against the previous pass and its range. The range starts at the first value as
// the fit returned it, before limiting.
class Convergence {
 public:
  explicit Convergence(double first) : lo_(first), hi_(first) {}

  void add(double& value, double previous) {
    value = std::clamp(value, -kComponentLimit, kComponentLimit);
    dmax_ = std::max(dmax_, std::abs(previous - value));
    lo_ = std::min(lo_, value);
    hi_ = std::max(hi_, value);
  }

  // Not finite when every value is equal: then the test fails and the passes go on.
  bool reached(double stop) const { return dmax_ / (hi_ - lo_) < stop; }

 private:
  double lo_;
  double hi_;
  double dmax_ = 0;
};

// The arguments and work storage of one call, shared by its steps.
struct Backfitting {
  std::span<const double> y;
  std::span<const double> xcov;
  int n;
  int p;
  std::span<const int> irep;
  int model;
  std::span<double> sy;
  std::span<double> beta;
  std::span<double> snu;
  double stop;
  int passes;  // of each inner loop
  double lambda;
  int capacity;
  int maxcol;
  double& trace;
  int& niter;
  double reslim;
  double sdmax;
  const XGroups& groups;
  std::span<double> ycompress;
  BackfitWork& work;

  void covariate_step_normal();
  void spline_step_normal();
  void covariate_step_glm();
  void spline_step_glm();
  void regress_zwork() {
    regress(xcov, work.zwork, capacity, maxcol, p, n, beta, work.nucov, work.dy, work.regression);
  }
  void smooth(std::span<const double> response) {
    smths(lambda, groups.nunique, groups.xcompress, response, work.dy, work.splu, trace, work.lev,
          work.spline);
  }
  // The points at their current snu: fitted means (snu limited in place), and the working sd and
  // working response component + residual that the next regression uses.
  void reweight_points(std::span<const double> component) {
    nutoy_each(snu, sy, n, model);
    for (int i = 0; i < n; ++i) {
      const double phi = weight_at_mean(sy[i], model);  // phi2(snu), the mean already at hand
      work.zwork[i] = component[i] + working_residual(y[i], sy[i], phi, reslim);
      work.dy[i] = 1 / (irep[i] * phi);
    }
    working_sd(n);
  }
  // The groups at the grouped fitted means mucomp: linear predictors, working sd and working
  // response component + residual against the grouped observed means.
  void reweight_groups(std::span<const double> component) {
    const int groups_count = groups.nunique;
    for (int j = 0; j < groups_count; ++j) work.nucomp[j] = ytonu(work.mucomp[j], model);
    nutoy_each(work.nucomp, work.numean, groups_count, model);
    for (int j = 0; j < groups_count; ++j) {
      const double phi = weight_at_mean(work.numean[j], model);  // phi2(nucomp)
      work.zwork[j] = component[j] + working_residual(ycompress[j], work.mucomp[j], phi, reslim);
      work.dy[j] = 1 / (groups.icompress[j] * phi);
    }
    working_sd(groups_count);
  }
  // Working standard deviations sqrt(1/(m phi)) of m cases, capped at sdmax, from the 1/(m phi) in dy.
  void working_sd(int count) {
    for (int j = 0; j < count; ++j) work.dy[j] = std::min(std::sqrt(work.dy[j]), sdmax);
  }
};

void Backfitting::covariate_step_normal() {
  for (int i = 0; i < n; ++i) {
    work.nuoff[i] = snu[i] - work.nucov[i];
    work.zwork[i] = y[i] - work.nuoff[i];
    work.dy[i] = 1 / std::sqrt(static_cast<double>(irep[i]));
  }
  regress_zwork();
  for (int i = 0; i < n; ++i) {
    snu[i] = work.nucov[i] + work.nuoff[i];
    sy[i] = snu[i];
  }
}

void Backfitting::spline_step_normal() {
  for (int i = 0; i < n; ++i) {
    work.nuoff[i] = snu[i] - work.nuspl[i];
    work.zwork[i] = y[i] - work.nuoff[i];
  }
  compressy(work.zwork, irep, groups, ycompress);  // irep-weighted mean partial residual per group
  for (int j = 0; j < groups.nunique; ++j)
    work.dy[j] = 1 / std::sqrt(static_cast<double>(groups.icompress[j]));
  smooth(ycompress);
  expandy(work.splu, groups, work.nuspl);
  for (int i = 0; i < n; ++i) {
    snu[i] = work.nuspl[i] + work.nuoff[i];
    sy[i] = snu[i];
  }
}

void Backfitting::covariate_step_glm() {
  // The first pass fits the full working response nu + z, the later ones component + z.
  for (int i = 0; i < n; ++i) {
    work.nuoff[i] = snu[i] - work.nucov[i];
    work.prev[i] = work.nucov[i];
  }
  reweight_points(snu);
  niter = passes;
  for (int t = 1; t <= passes; ++t) {
    regress_zwork();
    Convergence convergence(work.nucov[0]);
    for (int i = 0; i < n; ++i) {
      convergence.add(work.nucov[i], work.prev[i]);
      snu[i] = work.nucov[i] + work.nuoff[i];
      work.prev[i] = work.nucov[i];
    }
    reweight_points(work.nucov);
    if (convergence.reached(stop)) {
      niter = t;
      break;
    }
  }
}

void Backfitting::spline_step_glm() {
  const int groups_count = groups.nunique;
  // The covariate step has just limited snu and left sy = nutoy(snu).
  for (int i = 0; i < n; ++i) work.nuoff[i] = snu[i] - work.nuspl[i];
  compressy(sy, irep, groups, work.mucomp);
  std::copy_n(work.splu.begin(), groups_count, work.prev.begin());
  reweight_groups(work.nucomp);
  niter = passes;
  for (int t = 1; t <= passes; ++t) {
    smooth(work.zwork);
    Convergence convergence(work.splu[0]);
    for (int j = 0; j < groups_count; ++j) convergence.add(work.splu[j], work.prev[j]);
    expandy(work.splu, groups, work.nuspl);
    for (int i = 0; i < n; ++i) snu[i] = work.nuspl[i] + work.nuoff[i];
    nutoy_each(snu, sy, n, model);
    if (convergence.reached(stop)) {
      niter = t;
      break;
    }
    compressy(sy, irep, groups, work.mucomp);
    std::copy_n(work.splu.begin(), groups_count, work.prev.begin());
    reweight_groups(work.splu);
  }
}

}  // namespace

BackfitWork::BackfitWork(int capacity, int maxcol)
    : nucov(capacity),
      nuspl(capacity),
      nuoff(capacity),
      zwork(capacity),
      dy(capacity),
      prev(capacity),
      splu(capacity),
      mucomp(capacity),
      nucomp(capacity),
      numean(capacity),
      lev(capacity),
      spline(capacity),
      regression(capacity, maxcol) {}

void backfit(std::span<const double> y, std::span<const double> xcov, int n, int p, std::span<const int> irep,
             int model, std::span<double> sy, std::span<double> syc, std::span<double> beta,
             std::span<double> nufit, std::span<double> snu, int catcov, double stop, int maxit,
             double lambda, int capacity, int maxcol, double& trace, int& niter, double& gcv, double reslim,
             double sdmax, int ncycle, const XGroups& groups, std::span<double> ycompress,
             BackfitWork& work) {
  // At least one pass per inner loop: without a spline fit there would be no trace for the score.
  Backfitting fit{.y = y,
                  .xcov = xcov,
                  .n = n,
                  .p = p,
                  .irep = irep,
                  .model = model,
                  .sy = sy,
                  .beta = beta,
                  .snu = snu,
                  .stop = stop,
                  .passes = std::max(maxit, 1),
                  .lambda = lambda,
                  .capacity = capacity,
                  .maxcol = maxcol,
                  .trace = trace,
                  .niter = niter,
                  .reslim = reslim,
                  .sdmax = sdmax,
                  .groups = groups,
                  .ycompress = ycompress,
                  .work = work};

  // Start afresh from the mean response (unweighted mean of the point means), both components zero.
  double ybar = 0;
  for (int i = 0; i < n; ++i) ybar += y[i];
  ybar = ybar / n;
  const double nu0 = model == kNormal ? ybar : ytonu(ybar, model);  // ytonu limits ybar in place
  for (int i = 0; i < n; ++i) {
    sy[i] = ybar;
    snu[i] = nu0;
    work.nucov[i] = 0;
    work.nuspl[i] = 0;
  }
  std::fill_n(work.splu.begin(), groups.nunique, 0.0);

  for (int cycle = 0; cycle < ncycle; ++cycle) {
    if (model == kNormal) {
      fit.covariate_step_normal();
      fit.spline_step_normal();
    } else {
      fit.covariate_step_glm();
      fit.spline_step_glm();
    }
  }

  // gcv = n S / (n - (p + trace))^2, S = sum of irep/phi (y - sy)^2 (phi = 1 for model 1)
  double sum = 0;
  for (int i = 0; i < n; ++i) {
    const double residual = y[i] - sy[i];
    const double scale = model == kNormal ? irep[i] : irep[i] / phi2(snu[i], model);
    sum += scale * (residual * residual);
  }
  const double points = n;
  const double freedom = points - (p + trace);
  gcv = points * sum / (freedom * freedom);

  // Covariate effect per point (held in zwork): the level's coefficient, 0 for the reference level,
  // or slope times covariate value.
  std::span<double> effect = work.zwork;
  if (catcov == 1) {
    beta[0] = 0;
    dgmatv(xcov, beta, effect, n, p, capacity);
  } else {
    for (int i = 0; i < n; ++i) effect[i] = xcov[i + capacity] * beta[1];
  }
  // syc: every point at the case-weighted mean effect.
  double weighted = 0;
  double cases = 0;
  for (int i = 0; i < n; ++i) {
    nufit[i] = snu[i] - effect[i];
    weighted += irep[i] * effect[i];
    cases += irep[i];
  }
  const double mean_effect = weighted / cases;
  for (int i = 0; i < n; ++i) {
    syc[i] = nufit[i] + mean_effect;
    if (model != kNormal) syc[i] = nutoy(syc[i], model);
  }
}

}  // namespace trov
