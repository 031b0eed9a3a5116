#include "engine/fit/fitter.h"

namespace trov {

Fitter::Fitter(const Points& points, const Covariate* covariate, const FitOptions& options)
    : points_(points), covariate_(covariate), options_(options) {
  if (covariate_)
    backfit_work_.emplace(points.n, covariate->groups.size);
  else
    glisp_work_.emplace(points.n);
}

const FitResult& Fitter::fit(double lambda, std::span<const double> y) {
  if (covariate_) return backfit(lambda, points_, y, *covariate_, options_, *backfit_work_);
  return glisp(lambda, points_.x, y, points_.counts, options_, *glisp_work_);
}

}  // namespace trov
