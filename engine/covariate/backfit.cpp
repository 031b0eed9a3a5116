#include "engine/covariate/backfit.h"

#include <algorithm>
#include <cmath>

#include "engine/core/covariate_effect.h"
#include "engine/covariate/matrix.h"
#include "engine/spline/cross_validation.h"
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

// The data, options and work storage of one call, shared by its steps.
struct Backfitting {
  std::span<const double> y;
  int n;
  std::span<const int> irep;
  const Design& design;
  const XGroups& groups;
  Model model;
  double stop;
  int passes;  // of each inner loop
  double lambda;
  double reslim;
  double sdmax;
  BackfitWork& work;
  FitResult& result;
  std::span<double> sy;
  std::span<double> snu;

  bool covariate_step_normal();
  void spline_step_normal();
  bool covariate_step_glm();
  void spline_step_glm();
  // The covariate component from the working response; false when the design's solve fails.
  bool regress_zwork() {
    const int ifail = regress(design, n, work.zwork, work.dy, result.beta, work.nucov, work.regression);
    if (ifail == 0) return true;
    result.status = ifail > 0 ? FitStatus::design_not_positive_definite : FitStatus::design_ill_conditioned;
    result.failed_column = std::abs(ifail);
    return false;
  }
  void smooth(std::span<const double> response) {
    const auto count = static_cast<std::size_t>(groups.size);
    result.trace = smths(lambda, groups.x, response.first(count), std::span(work.dy).first(count), work.splu,
                         work.lev, work.spline);
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
    const int groups_count = groups.size;
    for (int j = 0; j < groups_count; ++j) {
      work.mucomp[j] = limit_mean(work.mucomp[j], model);
      work.nucomp[j] = ytonu(work.mucomp[j], model);
    }
    nutoy_each(work.nucomp, work.numean, groups_count, model);
    for (int j = 0; j < groups_count; ++j) {
      const double phi = weight_at_mean(work.numean[j], model);  // phi2(nucomp)
      work.zwork[j] = component[j] + working_residual(work.ycompress[j], work.mucomp[j], phi, reslim);
      work.dy[j] = 1 / (groups.counts[j] * phi);
    }
    working_sd(groups_count);
  }
  // Working standard deviations sqrt(1/(m phi)) of m cases, capped at sdmax, from the 1/(m phi) in dy.
  void working_sd(int count) {
    for (int j = 0; j < count; ++j) work.dy[j] = std::min(std::sqrt(work.dy[j]), sdmax);
  }
};

bool Backfitting::covariate_step_normal() {
  for (int i = 0; i < n; ++i) {
    work.nuoff[i] = snu[i] - work.nucov[i];
    work.zwork[i] = y[i] - work.nuoff[i];
    work.dy[i] = 1 / std::sqrt(static_cast<double>(irep[i]));
  }
  if (!regress_zwork()) return false;
  for (int i = 0; i < n; ++i) {
    snu[i] = work.nucov[i] + work.nuoff[i];
    sy[i] = snu[i];
  }
  return true;
}

void Backfitting::spline_step_normal() {
  for (int i = 0; i < n; ++i) {
    work.nuoff[i] = snu[i] - work.nuspl[i];
    work.zwork[i] = y[i] - work.nuoff[i];
  }
  compressy(work.zwork, irep, groups, work.ycompress);  // irep-weighted mean partial residual per group
  for (int j = 0; j < groups.size; ++j) work.dy[j] = 1 / std::sqrt(static_cast<double>(groups.counts[j]));
  smooth(work.ycompress);
  expandy(work.splu, groups, work.nuspl);
  for (int i = 0; i < n; ++i) {
    snu[i] = work.nuspl[i] + work.nuoff[i];
    sy[i] = snu[i];
  }
}

bool Backfitting::covariate_step_glm() {
  // The first pass fits the full working response nu + z, the later ones component + z.
  for (int i = 0; i < n; ++i) {
    work.nuoff[i] = snu[i] - work.nucov[i];
    work.prev[i] = work.nucov[i];
  }
  reweight_points(snu);
  result.iterations = passes;
  for (int t = 1; t <= passes; ++t) {
    if (!regress_zwork()) return false;
    Convergence convergence(work.nucov[0]);
    for (int i = 0; i < n; ++i) {
      convergence.add(work.nucov[i], work.prev[i]);
      snu[i] = work.nucov[i] + work.nuoff[i];
      work.prev[i] = work.nucov[i];
    }
    reweight_points(work.nucov);
    if (convergence.reached(stop)) {
      result.iterations = t;
      break;
    }
  }
  return true;
}

void Backfitting::spline_step_glm() {
  const int groups_count = groups.size;
  // The covariate step has just limited snu and left sy = nutoy(snu).
  for (int i = 0; i < n; ++i) work.nuoff[i] = snu[i] - work.nuspl[i];
  compressy(sy, irep, groups, work.mucomp);
  std::copy_n(work.splu.begin(), groups_count, work.prev.begin());
  reweight_groups(work.nucomp);
  result.iterations = passes;
  for (int t = 1; t <= passes; ++t) {
    smooth(work.zwork);
    Convergence convergence(work.splu[0]);
    for (int j = 0; j < groups_count; ++j) convergence.add(work.splu[j], work.prev[j]);
    expandy(work.splu, groups, work.nuspl);
    for (int i = 0; i < n; ++i) snu[i] = work.nuspl[i] + work.nuoff[i];
    nutoy_each(snu, sy, n, model);
    if (convergence.reached(stop)) {
      result.iterations = t;
      break;
    }
    compressy(sy, irep, groups, work.mucomp);
    std::copy_n(work.splu.begin(), groups_count, work.prev.begin());
    reweight_groups(work.splu);
  }
}

}  // namespace

BackfitWork::BackfitWork(int points, int groups)
    : nucov(points),
      nuspl(points),
      nuoff(points),
      zwork(points),
      dy(points),
      prev(points),
      splu(groups),
      ycompress(groups),
      mucomp(groups),
      nucomp(groups),
      numean(groups),
      lev(groups),
      spline(groups),
      regression(points) {
  for (auto* v : {&result.mean, &result.eta, &result.corrected_mean, &result.spline_eta})
    v->resize(static_cast<std::size_t>(points));
  result.beta.resize(kMaxcol);
}

const FitResult& backfit(double lambda, const Points& points, std::span<const double> y,
                         const Covariate& covariate, const FitOptions& options, BackfitWork& work) {
  const int n = points.n;
  const Design& design = covariate.design;
  const XGroups& groups = covariate.groups;
  const Model model = options.model;
  FitResult& result = work.result;
  result.status = FitStatus::ok;
  // At least one pass per inner loop: without a spline fit there would be no trace for the score.
  Backfitting fit{.y = y,
                  .n = n,
                  .irep = points.counts,
                  .design = design,
                  .groups = groups,
                  .model = model,
                  .stop = options.stop,
                  .passes = std::max(options.maxit, 1),
                  .lambda = lambda,
                  .reslim = options.reslim,
                  .sdmax = options.sdmax,
                  .work = work,
                  .result = result,
                  .sy = result.mean,
                  .snu = result.eta};
  std::span<double> sy(result.mean), snu(result.eta), syc(result.corrected_mean), nufit(result.spline_eta),
      beta(result.beta);
  std::span<const int> irep(points.counts);
  if (model != Model::normal) compressy(y, irep, groups, work.ycompress);  // grouped observed means

  // Start afresh from the mean response (unweighted mean of the point means), both components zero.
  double ybar = 0;
  for (int i = 0; i < n; ++i) ybar += y[i];
  ybar = ybar / n;
  if (model != Model::normal) ybar = limit_mean(ybar, model);
  const double nu0 = model == Model::normal ? ybar : ytonu(ybar, model);
  for (int i = 0; i < n; ++i) {
    sy[i] = ybar;
    snu[i] = nu0;
    work.nucov[i] = 0;
    work.nuspl[i] = 0;
  }
  std::fill_n(work.splu.begin(), groups.size, 0.0);

  for (int cycle = 0; cycle < options.ncycle; ++cycle) {
    if (model == Model::normal) {
      if (!fit.covariate_step_normal()) return result;
      fit.spline_step_normal();
    } else {
      if (!fit.covariate_step_glm()) return result;
      fit.spline_step_glm();
    }
  }
  if (model == Model::normal) result.iterations = 0;

  // gcv = n S / (n - (columns + trace))^2, S = sum of irep/phi (y - sy)^2 (phi = 1 for model 1)
  double sum = 0;
  for (int i = 0; i < n; ++i) {
    const double residual = y[i] - sy[i];
    if (model != Model::normal) snu[i] = limit_nu(snu[i]);  // the limited nu are the fit's
    const double scale = model == Model::normal ? irep[i] : irep[i] / phi2(snu[i], model);
    sum += scale * (residual * residual);
  }
  result.gcv = gcv_score(n, sum, design.columns + result.trace);
  result.ocv = 0;

  // Covariate effect per point (held in zwork): the level's coefficient, 0 for the reference level,
  // or slope times covariate value.
  std::span<double> effect = work.zwork;
  if (design.categorical) {
    beta[0] = 0;
    dgmatv({design.xcov, n, design.columns, design.rows}, beta, effect);
  } else {
    for (int i = 0; i < n; ++i) effect[i] = design.xcov[i + design.rows] * beta[1];
  }
  for (int i = 0; i < n; ++i) nufit[i] = snu[i] - effect[i];
  // syc: every point at the case-weighted mean effect.
  const auto points_n = static_cast<std::size_t>(n);
  const double mean_effect =
      case_weighted_mean(std::span<const double>(effect).first(points_n), irep.first(points_n));
  for (int i = 0; i < n; ++i) {
    syc[i] = nufit[i] + mean_effect;
    if (model != Model::normal) syc[i] = nutoy(syc[i], model);
  }
  return result;
}

}  // namespace trov
