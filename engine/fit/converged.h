#pragma once

#include <span>
#include <vector>

#include "engine/core/design.h"
#include "engine/core/fit_result.h"
#include "engine/core/grouping.h"
#include "engine/core/model.h"
#include "engine/core/points.h"
#include "engine/spline/natural_spline.h"
#include "engine/spline/smths.h"

namespace trov {

// The penalized maximum-likelihood fit at one lambda, computed to convergence. A value that does not
// apply is NaN: ocv with a covariate, ubre for the normal model.
struct ConvergedFit {
  bool ok = false;           // Newton reached its tolerance (always, for the normal model)
  int iterations = 0;        // Newton steps (models 2 and 3); 0 for the normal model, solved in one go
  double edf = 0;            // trace of the hat matrix of the whole fit: spline and covariate columns
  double gcv = 0;            // n sum N (y - mu)^2 / w / (n - edf)^2, n the number of points
  double ocv = 0;            // sum N/w ((y - mu)/(1 - lev))^2 / n (no covariate)
  double ubre = 0;           // D/n + 2 edf/n - 1 (models 2 and 3)
  double deviance = 0;       // D: binomial or Poisson deviance of the points, N-weighted RSS (normal)
  std::vector<double> mean;  // fitted mean per point
  std::vector<double> eta;   // fitted linear predictor per point
  std::vector<double> beta;  // covariate coefficients as FitResult::beta lays them out; beta[0] = 0, as
                             // the spline carries the constant
};

// Fits the run's points at any lambda to the maximum of the penalized log likelihood
//   sum N_i (y_i eta_i - b(eta_i)) - (lambda t / 2) integral s''^2,
// eta_i = s(x_i) + X_i beta, over the natural cubic splines s with knots at the distinct X and (with a
// covariate) the coefficients beta of the design columns after the intercept; t is the penalty scale
// of smths. Newton's method, each step a penalized weighted least-squares fit at the working response
// z = eta + (y - mu)/w with weights N w: smths on the distinct X, and with a covariate the partial-spline
// normal equations for beta. Step halving on the penalized log likelihood; the fit stops once no eta
// changes by more than 1e-9 max(1, |eta|), after at most 100 steps. The fitter owns its workspace,
// sized once for the points, so a fit allocates nothing. The points and the covariate must outlive it.
class ConvergedFitter {
 public:
  ConvergedFitter(const Points& points, const Covariate* covariate, Model model);

  // The fit at lambda of the responses y (one per point), started from the classic fit of the same
  // responses at the same lambda when that ended ok (the problem is concave, so the start changes only
  // the steps taken), else from the constant fit; nothing of the fitter's earlier fits matters. The
  // result stays valid until the next fit.
  const ConvergedFit& fit(double lambda, std::span<const double> y, const FitResult& classic);

  // The same, started from this fitter's last fit when that ended ok (a nearby lambda).
  const ConvergedFit& refit(double lambda, std::span<const double> y);

 private:
  void start_constant(std::span<const double> y);
  const ConvergedFit& iterate(double lambda, std::span<const double> y);
  double column(int i, int j) const { return design_->xcov[i + (j + 1) * design_->rows]; }
  void combine(std::span<const double> s, std::span<const double> beta, std::span<double> eta) const;
  double evaluate(std::span<const double> eta, std::span<const double> y, bool likelihood);
  double trial_change() const;
  double penalty(double lambda, std::span<const double> s);
  bool newton_solve(double lambda, bool increments);
  double covariate_trace();
  void finish(std::span<const double> y, bool solved);

  const Points& points_;
  const Design* design_;
  Model model_;
  XGroups own_groups_;               // every point its own X (no covariate)
  const XGroups* covariate_groups_;  // the covariate's grouping, or null
  // The distinct X the spline lives on (a pointer, not a reference, so the fitter can move).
  const XGroups& groups() const { return covariate_groups_ ? *covariate_groups_ : own_groups_; }
  int columns_;  // design columns after the intercept
  SplineWork spline_;
  NaturalSpline curvatures_;  // of the natural splines at the distinct X
  // per point
  std::vector<double> eta_, trial_eta_, weight_, working_, response_, solve_weight_;
  // per distinct X
  std::vector<double> s_, trial_s_, group_weight_, dy_, zeta_, smooth_zeta_, lev_, scratch_, curvature_;
  // per column and distinct X (column-major by column), per column, per pair of columns
  std::vector<double> xbar_, smooth_x_, beta_, trial_beta_, cross_, packed_, rhs_;
  double spline_trace_ = 0;  // trace of the smoother in the last solve
  bool increments_ = false;  // Newton steps solved for the increments, else for the new values
  bool last_ok_ = false;
  ConvergedFit result_;
};

// A ln(lambda) at which a score of the converged fits is smallest, searched within [lo, hi].
struct RefinedMinimum {
  double lnlambda = 0;
  double score = 0;
  double edf = 0;
  bool ok = false;  // some fit of the search ended ok
};

// Brent's search (golden sections and parabolas) for the smallest score (a member of ConvergedFit such
// as &ConvergedFit::gcv) over ln(lambda) in [lo, hi], until the bracket is narrower than `tolerance`;
// each fit starts from the one before. A fit that does not end ok counts as an infinite score. Returns
// the best fit evaluated.
RefinedMinimum refine_minimum(ConvergedFitter& fitter, std::span<const double> y, double lo, double hi,
                              double ConvergedFit::*score, double tolerance);

}  // namespace trov
