#include "engine/spline/glisp.h"

#include <algorithm>
#include <cmath>

#include "engine/spline/cross_validation.h"
#include "engine/spline/links.h"

namespace trov {

namespace {

constexpr double kMaxFittedNu = 23;  // a fitted nu beyond this means a weight of the model vanished

// Sums of the cross-validation scores over the points, with weight w of each point.
struct CrossValidation {
  double g = 0;  // sum of (irep/w) (y - sy)^2
  double o = 0;  // sum of (irep/w) ((y - sy)/(1 - lev))^2

  void add(int irep, double w, double y, double sy, double lev) {
    const double scale = irep / w;
    const double residual = y - sy;
    g += scale * (residual * residual);
    const double deleted = residual / (1 - lev);
    o += scale * (deleted * deleted);
  }

  // gcv = n G / (n - trace)^2, ocv = O / n; n counts the points, not the cases
  void scores(int n, double trace, double& gcv, double& ocv) const {
    const double points = n;
    gcv = gcv_score(points, g, trace);
    ocv = o / points;
  }
};

}  // namespace

GlispWork::GlispWork(int n) : spline(n), z(n), dy(n), prev(n), mean(n), lev(n) {
  result.mean.resize(static_cast<std::size_t>(n));
  result.eta.resize(static_cast<std::size_t>(n));
}

const FitResult& glisp(double lambda, std::span<const double> x, std::span<const double> y,
                       std::span<const int> irep, const FitOptions& options, GlispWork& work) {
  const int n = static_cast<int>(x.size());
  const Model model = options.model;
  FitResult& result = work.result;
  result.mean.resize(static_cast<std::size_t>(n));  // within the work's size: no allocation
  result.eta.resize(static_cast<std::size_t>(n));
  std::span<double> sy(result.mean), snu(result.eta);
  std::span<double> z(work.z), dy(work.dy), prev(work.prev), mean(work.mean), lev(work.lev);
  result.status = FitStatus::ok;
  CrossValidation cv;

  if (model == Model::normal) {
    for (int i = 0; i < n; ++i) dy[i] = 1 / std::sqrt(static_cast<double>(irep[i]));
    result.trace = smths(lambda, x, y, dy.first(n), sy, lev, work.spline);
    std::copy(sy.begin(), sy.end(), snu.begin());  // the identity link
    result.iterations = 0;
    for (int i = 0; i < n; ++i) cv.add(irep[i], 1.0, y[i], sy[i], lev[i]);
    cv.scores(n, result.trace, result.gcv, result.ocv);
    return result;
  }

  // Start from the constant fit at the mean of the point means; the links clamp ybar and nu0.
  double ybar = 0;
  for (int i = 0; i < n; ++i) ybar += y[i];
  ybar = ybar / n;
  ybar = limit_mean(ybar, model);
  const double nu0 = limit_nu(ytonu(ybar, model));
  const double w0 = phi2(nu0, model);
  for (int i = 0; i < n; ++i) {
    prev[i] = nu0;
    z[i] = nu0 + (y[i] - ybar) / w0;
    dy[i] = std::sqrt(1 / (irep[i] * w0));
  }

  // Without a spline fit there would be no nu and no leverages: at least one fit is done.
  const int fits = std::max(options.maxit, 1);
  result.iterations = fits;
  for (int k = 1; k <= fits; ++k) {
    result.trace = smths(lambda, x, z.first(n), dy.first(n), snu, lev, work.spline);
    for (int i = 0; i < n; ++i) {
      if (std::abs(snu[i]) > kMaxFittedNu) {
        result.status = FitStatus::weight_vanished;
        return result;
      }
    }
    // Largest change of the fitted nu; the new nu (prev) and the range are limited to [-16, 16] as
    // nutoy limits them, snu keeps the fitted values.
    double maxd = 0;
    for (int i = 0; i < n; ++i) {
      const double d = std::abs(prev[i] - snu[i]);
      if (d > maxd) maxd = d;
      prev[i] = snu[i];
    }
    nutoy_each(prev, mean, n, model);
    double numin = snu[0];
    double numax = snu[0];
    for (int i = 0; i < n; ++i) {
      if (prev[i] < numin) numin = prev[i];
      if (prev[i] > numax) numax = prev[i];
    }
    for (int i = 0; i < n; ++i) {
      const double w = weight_at_mean(mean[i], model);  // phi2 of the limited nu
      double r = (y[i] - mean[i]) / w;
      if (r > options.reslim) r = options.reslim;
      if (r < -options.reslim) r = -options.reslim;
      z[i] = prev[i] + r;
      dy[i] = 1 / (irep[i] * w);
    }
    // dy = sqrt(1/(irep w)) at most sdmax; a loop of its own as sqrt does not vectorize
    for (int i = 0; i < n; ++i) dy[i] = std::min(std::sqrt(dy[i]), options.sdmax);
    // Not finite when every fitted nu is equal: then the test fails and the iterations go on.
    const double change = maxd / (numax - numin);
    if (change < options.stop) {
      result.iterations = k;
      break;
    }
  }

  nutoy_each(snu, sy, n, model);  // clamps snu in place
  for (int i = 0; i < n; ++i) cv.add(irep[i], weight_at_mean(sy[i], model), y[i], sy[i], lev[i]);
  cv.scores(n, result.trace, result.gcv, result.ocv);
  return result;
}

}  // namespace trov
