#pragma once

#include <optional>
#include <span>

#include "engine/core/design.h"
#include "engine/core/fit_result.h"
#include "engine/core/model.h"
#include "engine/core/points.h"
#include "engine/covariate/backfit.h"
#include "engine/spline/glisp.h"

namespace trov {

// Fits the run's points at any lambda and response: without a covariate by glisp, with one by
// backfit. It owns the workspace of one fit, sized once for the points, so a fit allocates nothing.
// The points and the covariate must outlive the fitter.
class Fitter {
 public:
  Fitter(const Points& points, const Covariate* covariate, const FitOptions& options);

  // The fit at lambda of the responses y (one per point). The result stays valid until the next fit.
  const FitResult& fit(double lambda, std::span<const double> y);

  const FitOptions& options() const { return options_; }
  bool covariate() const { return covariate_ != nullptr; }

 private:
  const Points& points_;
  const Covariate* covariate_;
  FitOptions options_;
  std::optional<GlispWork> glisp_work_;
  std::optional<BackfitWork> backfit_work_;
};

}  // namespace trov
