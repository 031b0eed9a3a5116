#pragma once

#include <atomic>
#include <span>
#include <vector>

#include "engine/core/design.h"
#include "engine/core/fit_result.h"
#include "engine/core/grouping.h"
#include "engine/core/model.h"
#include "engine/core/points.h"
#include "engine/fit/state_space.h"

namespace trov {

// How a converged fit ended. Only `converged` is ok.
enum class NewtonEnd {
  converged,   // the Newton step at the fit, checked against the gradient, changes no eta by more than
               // the tolerance
  ran_away,    // no finite maximum: a line in X or a categorical level separates the responses, or
               // (with a covariate) steps kept pushing a fitted mean within 1e-10 of 0 or 1 further
               // out; or a step would take a linear predictor beyond 500
  no_ascent,   // no part of a Newton step raised the penalized likelihood before the tolerance was met
  inaccurate,  // a step could not be solved, or the steps not shrunk, to the accuracy the tolerance needs
  step_limit,  // 100 steps without meeting the tolerance
  singular,    // the covariate's normal equations turned singular
  stopped,     // the caller asked the fits to stop (see watch)
};

// The penalized maximum-likelihood fit at one lambda, computed to convergence. A value that does not
// apply is NaN: ocv with a covariate, ubre for the normal model.
struct ConvergedFit {
  bool ok = false;      // Newton reached its tolerance, checked against the gradient
  int iterations = 0;   // Newton steps (models 2 and 3); 0 for the normal model, solved in one go
  double edf = 0;       // trace of the hat matrix of the whole fit: spline and covariate columns
  double gcv = 0;       // n sum N (y - mu)^2 / w / (n - edf)^2, n the number of points
  double ocv = 0;       // sum N/w ((y - mu)/(1 - lev))^2 / n (no covariate)
  double ubre = 0;      // D/n + 2 edf/n - 1 (models 2 and 3)
  double deviance = 0;  // D: binomial or Poisson deviance of the points, N-weighted RSS (normal)
  // The Laplace approximations to minus the log restricted (REML) and marginal (ML) likelihood of the
  // cases, smaller is better; with the unpenalized columns (the line and the covariate's) integrated
  // out (REML) or fixed (ML), and for the normal model the scale profiled out. Omitted constants: those
  // of the Poisson counts (sum ln y!) and those of the parametrization, the same at every lambda.
  double reml = 0;
  double ml = 0;
  std::vector<double> mean;  // fitted mean per point
  std::vector<double> eta;   // fitted linear predictor per point
  std::vector<double> beta;  // covariate coefficients as FitResult::beta lays them out; beta[0] = 0, as
                             // the spline carries the constant
  NewtonEnd end = NewtonEnd::converged;  // why the fit ended; ok exactly when converged
  std::vector<double> effect;            // covariate effect X_i beta per point (empty without covariate)
  // The spline at the distinct X: its values s, and K s (K the roughness matrix, s'Ks = integral s''^2),
  // the jumps of s''' at the distinct X, from the fit's working residuals (see derivatives_from_jumps).
  std::vector<double> spline, jumps;
};

// Fits the run's points at any lambda to the maximum of the penalized log likelihood
//   sum N_i (y_i eta_i - b(eta_i)) - (lambda t / 2) integral s''^2,
// eta_i = s(x_i) + X_i beta, over the natural cubic splines s with knots at the distinct X and (with a
// covariate) the coefficients beta of the design columns after the intercept; t is the penalty scale
// of smths. Newton's method: each step solves H theta' = Z'W z for the new values (H = Z'WZ +
// lambda t K the information, Z = [spline values, X], W = N b''(eta), z = eta + (y - mu)/b''(eta) the
// working response) as a penalized weighted least-squares fit: the smoothing spline in state-space form
// on the distinct X (which keeps its accuracy where smths, at many close X and large lambda, does not),
// and with a covariate the partial-spline normal equations for beta. The penalty enters through K s,
// taken from the normal equations of the solves (never from differences of s over the knot spacings,
// which at close X lose every digit). A large step is halved until the penalized likelihood, its rise
// summed term by term, does not fall; a small one, which the likelihood cannot resolve, is taken whole.
// The fit converges where the Newton step (with a covariate, its part for beta refined against the
// gradient until the solve is accurate) changes no eta by more than 1e-9 max(1, |eta|); it ends
// there, at most 100 steps on. The fitter owns its workspace, sized once for the points, so a
// fit allocates nothing. The points and the covariate must outlive it.
class ConvergedFitter {
 public:
  // stop: a flag the fits look at before every Newton step: once it is set, a fit ends at once,
  // `stopped`, so that a caller who stops a long run is not kept waiting for its fits (nor for the
  // allocation of the workspace, which a stop leaves incomplete).
  ConvergedFitter(const Points& points, const Covariate* covariate, Model model,
                  const std::atomic<bool>* stop = nullptr);

  // The fit at lambda of the responses y (one per point), from the constant fit at the mean of the
  // responses; nothing of the fitter's earlier fits matters. The result stays valid until the next fit.
  const ConvergedFit& fit(double lambda, std::span<const double> y);

  // The same, started from an earlier fit of these points that ended ok (a nearby lambda, or nearby
  // responses), else and again when that start does not converge, from the constant fit. The problem
  // is concave, so the start changes only the steps taken.
  const ConvergedFit& fit(double lambda, std::span<const double> y, const ConvergedFit& start);

  // The same, started from this fitter's last fit when that ended ok.
  const ConvergedFit& refit(double lambda, std::span<const double> y);

  // The storage it holds, in bytes: its workspace, the same for every fit.
  std::size_t workspace_bytes() const;

  // Whether the fits compute their REML and ML scores (NaN otherwise); they do unless told.
  void compute_likelihood(bool on) { likelihood_ = on; }
  bool computes_likelihood() const { return likelihood_; }

 private:
  // A vector over the unknowns: s at the distinct X, then beta.
  struct Unknowns {
    std::vector<double> s, beta;
  };

  double constant_eta(std::span<const double> y) const;
  void start_constant(std::span<const double> y);
  const ConvergedFit& iterate(double lambda, std::span<const double> y, bool retry);
  void solved_roughness();
  NewtonEnd newton(std::span<const double> y, int& steps);
  NewtonEnd solve_normal(std::span<const double> y);
  void combine(const Unknowns& u, std::span<double> eta) const;
  bool evaluate(std::span<const double> y);
  bool prepare_step();
  bool prepare_columns();
  void solve_columns(const Unknowns& rhs, Unknowns& solution);
  double refine();
  bool refine_step(double& change, double& correction);
  double halving();
  bool separates(std::span<const double> y) const;
  bool at_bound() const;
  double largest_eta(double t) const;
  void move(double t);
  double change_of(std::span<const double> step_eta) const;
  double gain(double t, double slope, double roughness) const;
  double spline_trace();
  double covariate_trace();
  void likelihood_scores(double minus_loglik, double squares);
  void finish(std::span<const double> y);

  const Points& points_;
  const Design* design_;
  Model model_;
  XGroups own_groups_;               // every point its own X (no covariate)
  const XGroups* covariate_groups_;  // the covariate's grouping, or null
  // The distinct X the spline lives on (a pointer, not a reference, so the fitter can move).
  const XGroups& groups() const { return covariate_groups_ ? *covariate_groups_ : own_groups_; }
  int columns_;  // design columns after the intercept
  // The design's non-zero entries after the intercept, row by row (a categorical covariate has at most
  // one per row), and per column the distinct X at which it has one.
  std::vector<int> row_start_, entry_column_, column_start_, column_group_;
  std::vector<double> entry_value_;
  std::vector<int> group_of_;       // per point, its distinct X
  std::vector<double> knot_cases_;  // per distinct X, the sum of its points' N
  double log_knot_cases_ = 0;       // and the sum of their logarithms
  StateSpaceSpline spline_;
  Unknowns theta_, step_, unrefined_, correction_, residual_, rhs_;
  // K s of theta's spline and of theta + step's: from the normal equations of the solves that made
  // them, never from differences of s over the knot spacings (which at close X lose every digit)
  std::vector<double> roughness_, new_roughness_;
  double scale_ = 0;  // lambda t, the penalty's factor of the fit under way
  // per point: eta, Z of a correction, Z step, b''(eta), y - mu, N b''(eta), the tail of the mean
  std::vector<double> eta_, correction_eta_, step_eta_, weight_, residual_y_, solve_weight_, tail_;
  std::vector<double> group_weight_, zeta_, lev_;  // per distinct X
  // per distinct X, the constant's column and the centred X's (one after the other): N / W and S N / W
  std::vector<double> lines_, null_lines_;
  // per column and distinct X (column-major by column), per pair of columns, per column
  std::vector<double> xbar_, smooth_x_, cross_, packed_, column_rhs_;
  // for the trace: W_g (S xbar_j)_g of four columns side by side per distinct X, and the columns of B
  static constexpr int kTraceSide = 4;
  std::vector<double> trace_weighted_, trace_columns_;
  bool solved_ = false;     // weights prepared and solved at, so the trace applies
  bool separated_ = false;  // the last Newton run kept pushing a mean at its bound
  bool last_ok_ = false;
  bool likelihood_ = true;
  const std::atomic<bool>* stop_ = nullptr;
  bool complete_ = false;  // the workspace was allocated whole
  ConvergedFit result_;
};

}  // namespace trov
