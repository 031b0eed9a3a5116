#include "engine/fit/converged.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "engine/covariate/matrix.h"
#include "engine/spline/cross_validation.h"
#include "engine/spline/links.h"
#include "engine/spline/smths.h"

namespace trov {

namespace {

constexpr int kMaxSteps = 100;
constexpr int kMaxHalvings = 40;
constexpr int kMaxRefinements = 4;
constexpr double kTolerance = 1e-9;              // largest change of eta, relative to max(1, |eta|)
constexpr double kNearby = 1e-4;                 // a change below which Newton converges quadratically
constexpr double kCheckBelow = 10 * kTolerance;  // a step this small may end the iteration
constexpr double kMaxEta = 500;                  // beyond, the weights of the model vanish or overflow
constexpr double kBound = 1e-10;                 // a mean this close to 0 or 1 has a weight of nothing
constexpr double kLeastWeight = 1e-12;  // per case, the least weight of the first two X (see prepare_step)
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The model at one linear predictor, without the limits of the classic fits: the weight b''(eta), the
// residual y - mu and the tail: the smaller of mu and 1 - mu (binomial), the mean (Poisson); each
// accurate where mu nears 0 or 1.
struct AtEta {
  double weight, residual, tail;
};

AtEta at_eta(double eta, double y, Model model) {
  switch (model) {
    case Model::binomial: {
      const auto [larger, smaller] = binomial_tails(eta);  // mu and 1 - mu, the larger first
      // y - mu = (y - 1) + (1 - mu) when 1 - mu is the smaller one
      const double residual = eta >= 0 ? (y - 1) + smaller : y - smaller;
      return {larger * smaller, residual, smaller};
    }
    case Model::poisson: {
      const double mean = std::exp(eta);
      return {mean, y - mean, mean};
    }
    default:
      return {1, y - eta, eta};
  }
}

// The cumulant b(eta) from eta and its tail: ln(1 + e^eta) = max(eta, 0) - ln(1 - tail) (binomial),
// e^eta (Poisson), eta^2 / 2 (normal).
double cumulant(double eta, double tail, Model model) {
  switch (model) {
    case Model::binomial:
      return std::max(eta, 0.0) - std::log1p(-tail);
    case Model::poisson:
      return tail;
    default:
      return eta * eta / 2;
  }
}

double cumulant(double eta, Model model) { return cumulant(eta, at_eta(eta, 0, model).tail, model); }

// b(eta + d) - b(eta) - b'(eta) d >= 0: how far the cumulant rises above its tangent over a step d,
// accurate for small d too, where the difference of two cumulants would cancel. A Taylor series up
// to d^4 below 1e-3, else expm1 and log1p; the binomial one on the side where the mean is below 1/2,
// as it is the same for (eta, d) and (-eta, -d).
double excess(double eta, double d, double w, double tail, Model model) {
  switch (model) {
    case Model::binomial: {
      const double e = eta >= 0 ? -d : d;
      if (std::abs(e) <= 1e-3) return w * e * e * (0.5 + e * ((1 - 2 * tail) / 6 + e * (1 - 6 * w) / 24));
      if (e <= 1) return std::log1p(tail * std::expm1(e)) - tail * e;
      const double from = -std::abs(eta);
      return cumulant(from + e, model) - cumulant(from, tail, model) - tail * e;
    }
    case Model::poisson:
      if (std::abs(d) <= 1e-3) return tail * d * d * (0.5 + d * (1.0 / 6 + d / 24));
      return tail * (std::expm1(d) - d);
    default:
      return d * d / 2;
  }
}

double x_log_x(double x) { return x > 0 && x != 1 ? x * std::log(x) : 0; }  // 1 ln 1 = 0 exactly

// The log likelihood y eta - b(eta) of the saturated fit eta = link(y), per case.
double saturated(double y, Model model) {
  return model == Model::binomial ? x_log_x(y) + x_log_x(1 - y) : x_log_x(y) - y;
}

}  // namespace

ConvergedFitter::ConvergedFitter(const Points& points, const Covariate* covariate, Model model,
                                 const std::atomic<bool>* stop)
    : points_(points),
      design_(covariate ? &covariate->design : nullptr),
      model_(model),
      own_groups_(covariate ? XGroups{} : compressx(points.x, points.counts, points.n)),
      covariate_groups_(covariate ? &covariate->groups : nullptr),
      columns_(covariate ? covariate->design.columns - 1 : 0),
      spline_(0),
      stop_(stop) {
  // gigabytes at millions of points: a stop asked meanwhile leaves the fitter incomplete, its fits
  // stopped at once
  const auto stopped = [&] { return stop_ && stop_->load(std::memory_order_relaxed); };
  const auto n = static_cast<std::size_t>(points.n);
  const auto knots = static_cast<std::size_t>(groups().size);
  const auto q = static_cast<std::size_t>(columns_);
  if (stopped()) return;
  spline_ = StateSpaceSpline(groups().size, covariate ? StateSpaceSpline::kLanes : 1);
  for (auto* v : {&eta_, &step_eta_, &weight_, &residual_y_, &solve_weight_, &tail_}) {
    if (stopped()) return;
    v->resize(n);
  }
  for (auto* v : {&group_weight_, &zeta_, &lev_, &roughness_, &new_roughness_}) {
    if (stopped()) return;
    v->resize(knots);
  }
  for (auto* v : {&lines_, &null_lines_}) v->resize(2 * knots);
  for (Unknowns* u : {&theta_, &step_, &rhs_}) {
    u->s.resize(knots);
    u->beta.resize(q);
  }
  if (q > 0) {  // what the refinement of the covariate's part of a step needs
    for (Unknowns* u : {&unrefined_, &correction_, &residual_}) {
      u->s.resize(knots);
      u->beta.resize(q);
    }
    correction_eta_.resize(n);
  }
  for (int g = 0; g < groups().size; ++g) group_of_.insert(group_of_.end(), groups().points[g], g);
  knot_cases_.assign(knots, 0.0);
  for (int i = 0; i < points.n; ++i) knot_cases_[group_of_[i]] += points.counts[i];
  for (double d : knot_cases_) log_knot_cases_ += std::log(d);
  // the non-zero design entries after the intercept, by row and by column
  std::vector<std::vector<int>> column_groups(q);
  row_start_.push_back(0);
  for (int i = 0; i < points.n; ++i) {
    for (int j = 0; j < columns_; ++j) {
      const double value = design_->xcov[i + (j + 1) * design_->rows];
      if (value == 0) continue;
      entry_column_.push_back(j);
      entry_value_.push_back(value);
      auto& column = column_groups[static_cast<std::size_t>(j)];
      if (column.empty() || column.back() != group_of_[i]) column.push_back(group_of_[i]);
    }
    row_start_.push_back(static_cast<int>(entry_column_.size()));
  }
  column_start_.push_back(0);
  for (const auto& column : column_groups) {
    column_group_.insert(column_group_.end(), column.begin(), column.end());
    column_start_.push_back(static_cast<int>(column_group_.size()));
  }
  xbar_.resize(q * knots);
  smooth_x_.resize(q * knots);
  trace_weighted_.resize(q > 0 ? kTraceSide * knots : 0);
  trace_columns_.resize(q * q);
  column_rhs_.resize(q);
  cross_.resize(q * q);
  packed_.resize(q * (q + 1) / 2);
  result_.mean.resize(n);
  result_.eta.resize(n);
  result_.spline.resize(knots);
  result_.jumps.resize(knots);
  if (covariate) result_.beta.resize(q + 1);
  result_.effect.resize(covariate ? n : 0);
  complete_ = !stopped();
}

// The linear predictor of the constant fit at the mean of the point means, as the classic fits start.
double ConvergedFitter::constant_eta(std::span<const double> y) const {
  double ybar = 0;
  for (int i = 0; i < points_.n; ++i) ybar += y[i];
  ybar = ybar / points_.n;
  return model_ == Model::normal ? ybar : limit_nu(ytonu(ybar, model_));
}

void ConvergedFitter::start_constant(std::span<const double> y) {
  std::fill(theta_.s.begin(), theta_.s.end(), constant_eta(y));
  std::fill(theta_.beta.begin(), theta_.beta.end(), 0.0);
  std::fill(roughness_.begin(), roughness_.end(), 0.0);  // a constant has no roughness
}

const ConvergedFit& ConvergedFitter::fit(double lambda, std::span<const double> y) {
  start_constant(y);
  return iterate(lambda, y, false);
}

const ConvergedFit& ConvergedFitter::fit(double lambda, std::span<const double> y,
                                         const ConvergedFit& start) {
  if (!start.ok) return fit(lambda, y);
  // K s does not depend on lambda: the start's serves at any
  std::copy(start.spline.begin(), start.spline.end(), theta_.s.begin());
  std::copy(start.jumps.begin(), start.jumps.end(), roughness_.begin());
  if (design_) std::copy(start.beta.begin() + 1, start.beta.end(), theta_.beta.begin());
  return iterate(lambda, y, true);
}

const ConvergedFit& ConvergedFitter::refit(double lambda, std::span<const double> y) {
  if (last_ok_) return iterate(lambda, y, true);  // theta_ and its roughness are the last fit's
  return fit(lambda, y);
}

// eta = s at the point's X + X beta over the columns after the intercept.
void ConvergedFitter::combine(const Unknowns& u, std::span<double> eta) const {
  if (!design_ && groups().size == points_.n) {  // every point its own X: eta = s
    std::copy_n(u.s.begin(), points_.n, eta.begin());
    return;
  }
  for (int i = 0; i < points_.n; ++i) {
    double sum = u.s[group_of_[i]];
    for (int e = row_start_[i]; e < row_start_[i + 1]; ++e) sum += entry_value_[e] * u.beta[entry_column_[e]];
    eta[i] = sum;
  }
}

// The weights b''(eta), the residuals y - mu and the tails at eta; false when a weight vanished.
bool ConvergedFitter::evaluate(std::span<const double> y) {
  for (int i = 0; i < points_.n; ++i) {
    const AtEta a = at_eta(eta_[i], y[i], model_);
    if (!(a.weight >= std::numeric_limits<double>::min())) return false;
    weight_[i] = a.weight;
    residual_y_[i] = a.residual;
    tail_[i] = a.tail;
  }
  return true;
}

// At the current eta: the smoother's weights W_g = sum N w over a distinct X (at the first two, where the
// state-space filter starts from their variances 1/W_g, at least 1e-12 a case: a fitted mean within e^-28
// of 0 or 1 there would start it from variances so large that the filter's cancellations lose every
// digit, and Newton's steps with them, Pima at ln(lambda) -10; so small a weight moves the fit by
// nothing), and with a covariate the W-weighted means xbar of the design columns over each distinct X,
// their smooths S xbar, X'WX and the factor of A = X'WX - sum_g W_g xbar_g (S xbar)_g'; then the step to
// the new values: H theta_new = Z'W (eta + (y - mu)/w), whose rounding a rough start cannot spoil, less
// the current values. False when A is singular.
bool ConvergedFitter::prepare_step() {
  const int n = points_.n, knots = groups().size;
  std::fill(group_weight_.begin(), group_weight_.end(), 0.0);
  std::fill(rhs_.s.begin(), rhs_.s.end(), 0.0);
  std::fill(rhs_.beta.begin(), rhs_.beta.end(), 0.0);
  for (int i = 0; i < n; ++i) {
    const double weight = group_of_[i] < 2 ? std::max(weight_[i], kLeastWeight) : weight_[i];
    solve_weight_[i] = points_.counts[i] * weight;
    group_weight_[group_of_[i]] += solve_weight_[i];
    const double working = solve_weight_[i] * eta_[i] + points_.counts[i] * residual_y_[i];  // W z
    rhs_.s[group_of_[i]] += working;
    for (int e = row_start_[i]; e < row_start_[i + 1]; ++e)
      rhs_.beta[entry_column_[e]] += entry_value_[e] * working;
  }
  // the new values' smooth S zeta rides along the preparation of the weights
  for (int g = 0; g < knots; ++g) zeta_[g] = rhs_.s[g] / group_weight_[g];
  spline_.set_weights_and_smooth(scale_, groups().x, group_weight_, zeta_, step_.s);
  if (columns_ > 0 && !prepare_columns()) return false;
  solve_columns(rhs_, step_);
  for (std::size_t g = 0; g < step_.s.size(); ++g) step_.s[g] -= theta_.s[g];
  for (std::size_t j = 0; j < step_.beta.size(); ++j) step_.beta[j] -= theta_.beta[j];
  combine(step_, step_eta_);
  solved_roughness();
  return true;
}

// K (s + d) of the solved step d, from the rows for s of the equations it solves:
//   lambda t K (s + d) = G'(N (y - mu) - W Z d),
// G summing over each distinct X: the working residuals of the new values. No differences of s + d
// over the knot spacings, which at close X lose every digit, and exact for the exact solution of the
// equations, whatever the rounding of the values that represent it.
void ConvergedFitter::solved_roughness() {
  std::fill(new_roughness_.begin(), new_roughness_.end(), 0.0);
  for (int i = 0; i < points_.n; ++i)
    new_roughness_[group_of_[i]] += points_.counts[i] * residual_y_[i] - solve_weight_[i] * step_eta_[i];
  for (double& k : new_roughness_) k /= scale_;
}

// The covariate's part of the preparation at the prepared weights; false when A is singular.
bool ConvergedFitter::prepare_columns() {
  const int n = points_.n, knots = groups().size, q = columns_;
  const auto first = static_cast<std::size_t>(knots);
  // xbar_j is zero off its column's distinct X, which are all that the sums below touch
  for (int j = 0; j < q; ++j)
    for (int c = column_start_[j]; c < column_start_[j + 1]; ++c) xbar_[j * first + column_group_[c]] = 0;
  std::fill(cross_.begin(), cross_.end(), 0.0);
  for (int i = 0; i < n; ++i) {
    for (int e = row_start_[i]; e < row_start_[i + 1]; ++e) {
      const double wx = solve_weight_[i] * entry_value_[e];
      xbar_[entry_column_[e] * first + group_of_[i]] += wx;
      for (int f = row_start_[i]; f <= e; ++f)
        cross_[entry_column_[f] + entry_column_[e] * q] += wx * entry_value_[f];
    }
  }
  for (int j = 0; j < q; ++j) {
    const std::span<double> xbar = std::span(xbar_).subspan(j * first, first);
    for (int c = column_start_[j]; c < column_start_[j + 1]; ++c)
      xbar[column_group_[c]] /= group_weight_[column_group_[c]];
  }
  spline_.smooth_columns(xbar_, smooth_x_, q);
  // element (k, j) of the packed lower triangle, j <= k; xbar_j is zero off its column's distinct X
  for (int k = 0; k < q; ++k) {
    const double* smooth = &smooth_x_[k * first];
    for (int j = 0; j <= k; ++j) {
      const double* xbar = &xbar_[j * first];
      double sum = 0;
      for (int c = column_start_[j]; c < column_start_[j + 1]; ++c) {
        const int g = column_group_[c];
        sum += group_weight_[g] * xbar[g] * smooth[g];
      }
      packed_[k * (k + 1) / 2 + j] = cross_[j + k * q] - sum;
    }
  }
  return dsymd(packed_, q) == 0;
}

// Solves H d = rhs at the prepared weights, with zeta = rhs_s / W_g and S the smoother,
//   A d_beta = rhs_beta - sum_g W_g xbar_g (S zeta)_g,  d_s = S zeta - (S xbar) d_beta:
// the part after S zeta, which solution.s holds.
void ConvergedFitter::solve_columns(const Unknowns& rhs, Unknowns& solution) {
  const int knots = groups().size, q = columns_;
  const auto first = static_cast<std::size_t>(knots);
  if (q == 0) return;
  for (int j = 0; j < q; ++j) {
    const double* xbar = &xbar_[j * first];
    double sum = 0;
    for (int c = column_start_[j]; c < column_start_[j + 1]; ++c) {
      const int g = column_group_[c];
      sum += group_weight_[g] * xbar[g] * solution.s[g];
    }
    column_rhs_[j] = rhs.beta[j] - sum;
  }
  dsyms(packed_, q, column_rhs_);
  std::copy(column_rhs_.begin(), column_rhs_.end(), solution.beta.begin());
  for (int j = 0; j < q; ++j) {
    const double* smooth = &smooth_x_[j * first];
    for (int g = 0; g < knots; ++g) solution.s[g] -= column_rhs_[j] * smooth[g];
  }
}

// One sweep of iterative refinement of the covariate's part of the step d against the gradient g at
// theta: the residual g - H d, whose rows for s vanish by the identity of solved_roughness (the smoother
// solves them exactly), and whose rows for beta are X'(N (y - mu) - W Z d), solved for a correction
// that is added to d. Returns the correction's change of eta; leaves Z d in step_eta_.
double ConvergedFitter::refine() {
  std::fill(residual_.beta.begin(), residual_.beta.end(), 0.0);
  for (int i = 0; i < points_.n; ++i) {
    const double score = points_.counts[i] * residual_y_[i] - solve_weight_[i] * step_eta_[i];
    for (int e = row_start_[i]; e < row_start_[i + 1]; ++e)
      residual_.beta[entry_column_[e]] += entry_value_[e] * score;
  }
  std::fill(correction_.s.begin(), correction_.s.end(), 0.0);  // the smooth of rows for s that vanish
  solve_columns(residual_, correction_);
  for (std::size_t g = 0; g < step_.s.size(); ++g) step_.s[g] += correction_.s[g];
  for (std::size_t j = 0; j < step_.beta.size(); ++j) step_.beta[j] += correction_.beta[j];
  combine(correction_, correction_eta_);
  const double correction = change_of(correction_eta_);
  combine(step_, step_eta_);
  solved_roughness();
  return correction;
}

// The largest change of eta by a step with Z step = v, relative to max(1, |eta|).
double ConvergedFitter::change_of(std::span<const double> v) const {
  double change = 0;
  for (int i = 0; i < points_.n; ++i)
    change = std::max(change, std::abs(v[i]) / std::max(1.0, std::abs(eta_[i])));
  return change;
}

// The rise of the penalized log likelihood from theta to theta + t d, summed term by term so that it
// keeps its accuracy however small the step: t g'd - sum N excess(eta, t Z d) - t^2 lambda t/2 integral
// d''^2, with slope = g'd and roughness = lambda t/2 integral d''^2.
double ConvergedFitter::gain(double t, double slope, double roughness) const {
  double sum = 0;
  for (int i = 0; i < points_.n; ++i)
    sum += points_.counts[i] * excess(eta_[i], t * step_eta_[i], weight_[i], tail_[i], model_);
  return t * slope - sum - t * t * roughness;
}

// Newton's method from theta; steps counts the steps taken.
NewtonEnd ConvergedFitter::newton(std::span<const double> y, int& steps) {
  steps = 0;
  combine(theta_, eta_);
  if (!evaluate(y)) return NewtonEnd::ran_away;
  separated_ = separates(y);
  if (separated_) return NewtonEnd::ran_away;
  int pushes = 0;  // steps running that pushed a fitted mean at its bound further out
  for (steps = 1; steps <= kMaxSteps; ++steps) {
    if (stop_ && stop_->load(std::memory_order_relaxed)) return NewtonEnd::stopped;
    solved_ = prepare_step();
    if (!solved_) return NewtonEnd::singular;
    double change = change_of(step_eta_), correction = 0;
    double t = 1;
    if (change < kNearby) {
      // Near the maximum the likelihood cannot resolve a step, so a step is taken whole; one that may
      // end the iteration is first refined against the gradient.
      if (change < kCheckBelow) {
        if (!refine_step(change, correction)) return NewtonEnd::inaccurate;
        // the fit ends here, where the check was made, with its weights and leverages
        if (change + correction < kTolerance) return NewtonEnd::converged;
      }
    } else {
      if (!(largest_eta(1) <= kMaxEta)) return NewtonEnd::ran_away;
      t = halving();
      if (t == 0) return at_bound() ? NewtonEnd::ran_away : NewtonEnd::no_ascent;
    }
    // With a covariate, responses can also separate along a line and the covariate together, which
    // separates() does not look for: steps that keep pushing a fitted mean at its bound further out
    // follow them. (Without one, steps to a maximum far out push so too: Pima at small lambda.)
    const bool pushed = design_ && at_bound() && largest_eta(t) > largest_eta(0) + 1;
    pushes = pushed ? pushes + 1 : 0;
    separated_ = pushes == 2;
    if (separated_) return NewtonEnd::ran_away;
    move(t);
    if (!evaluate(y)) return NewtonEnd::ran_away;
  }
  steps = kMaxSteps;
  return NewtonEnd::step_limit;
}

// The largest |eta + t Z step|.
double ConvergedFitter::largest_eta(double t) const {
  double largest = 0;
  for (int i = 0; i < points_.n; ++i) largest = std::max(largest, std::abs(eta_[i] + t * step_eta_[i]));
  return largest;
}

// Refines the covariate's part of the step against the gradient until its correction is below 1% of
// it, or the two together below the tolerance; false when the sweeps shrink the corrections but do not
// get there. Updates the step's change. Corrections that do not halve from sweep to sweep come from the
// residual's rounding, not from the solve: then the solve's own step stands, unrefined. Without a
// covariate there is nothing to refine: the state-space solve is the accurate one.
bool ConvergedFitter::refine_step(double& change, double& correction) {
  correction = 0;
  if (columns_ == 0) return true;
  std::copy(step_.s.begin(), step_.s.end(), unrefined_.s.begin());
  std::copy(step_.beta.begin(), step_.beta.end(), unrefined_.beta.begin());
  const double solved = change;
  double previous = std::numeric_limits<double>::infinity();
  for (int sweep = 0; sweep < kMaxRefinements; ++sweep) {
    correction = refine();
    change = change_of(step_eta_);
    if (correction <= 0.01 * change || change + correction < kTolerance) return true;
    if (correction > previous / 2) {
      std::copy(unrefined_.s.begin(), unrefined_.s.end(), step_.s.begin());
      std::copy(unrefined_.beta.begin(), unrefined_.beta.end(), step_.beta.begin());
      combine(step_, step_eta_);
      solved_roughness();
      change = solved;
      correction = 0;
      return true;
    }
    previous = correction;
  }
  return false;
}

// The largest of 1, 1/2, 1/4, ... such that the step times it does not lower the penalized likelihood,
// its rise summed term by term; 0 when none of 41 does. The penalty's terms from K s and K (s + d):
//   g'd = sum N (y - mu) Z d - lambda t d'K s,  roughness = lambda t/2 d'K d.
double ConvergedFitter::halving() {
  double slope = 0, roughness = 0;
  for (std::size_t g = 0; g < theta_.s.size(); ++g) {
    slope -= step_.s[g] * roughness_[g];
    roughness += step_.s[g] * (new_roughness_[g] - roughness_[g]);
  }
  slope *= scale_;
  roughness *= scale_ / 2;
  for (int i = 0; i < points_.n; ++i) slope += points_.counts[i] * residual_y_[i] * step_eta_[i];
  double t = 1;
  for (int halving = 0; halving <= kMaxHalvings; ++halving, t /= 2)
    if (gain(t, slope, roughness) >= 0) return t;
  return 0;
}

// Whether a line a + b X, not 0 at every point, or (categorical covariate) a level's indicator
// separates the responses: the likelihood then rises without end as eta moves along it, at no cost
// in roughness, so there is no maximum. Along such a direction a point's eta may fall only where its
// y is 0, rise only where y is 1 (binomial), and must stay where y lies between (y > 0 for Poisson).
bool ConvergedFitter::separates(std::span<const double> y) const {
  constexpr double inf = std::numeric_limits<double>::infinity();
  double low_min = inf, low_max = -inf, high_min = inf, high_max = -inf, mid_min = inf, mid_max = -inf;
  std::array<bool, kMaxcol + 1> not_low{}, not_high{};  // per level: some point's y is not 0, not 1
  for (int i = 0; i < points_.n; ++i) {
    const double x = points_.x[i];
    const bool low = y[i] == 0, high = model_ == Model::binomial && y[i] == 1;
    if (low) low_min = std::min(low_min, x), low_max = std::max(low_max, x);
    if (high) high_min = std::min(high_min, x), high_max = std::max(high_max, x);
    if (!low && !high) mid_min = std::min(mid_min, x), mid_max = std::max(mid_max, x);
    if (design_ && design_->categorical) {
      const int level = row_start_[i] < row_start_[i + 1] ? entry_column_[row_start_[i]] + 1 : 0;
      not_low[level] = not_low[level] || !low;
      not_high[level] = not_high[level] || !high;
    }
  }
  const bool mids = mid_min <= mid_max;
  // a constant: every y 0, or every y 1
  if (!mids && (low_min == inf || high_min == inf)) return true;
  // a sloped line, 0 at c: the points between 0 and 1 all at c, those at 0 on one side of it and
  // those at 1 on the other (a line is not 0 at two distinct X)
  if (mid_min == mid_max || !mids) {
    const double below = mids ? mid_min : -inf, above = mids ? mid_max : inf;
    const bool rising = low_max <= std::min(high_min, above) && std::max(low_max, below) <= high_min;
    const bool falling = high_max <= std::min(low_min, above) && std::max(high_max, below) <= low_min;
    if (rising || falling) return true;
  }
  if (design_ && design_->categorical)
    for (int level = 0; level < design_->columns; ++level)
      if (!not_low[level] || !not_high[level]) return true;
  return false;
}

// Some fitted mean lies within 1e-10 of 0 or 1 (binomial) or of 0 (Poisson): its eta is beyond 23,
// where the classic fits stop as their weight vanishes, and its weight counts for nothing beside the
// others'.
bool ConvergedFitter::at_bound() const {
  return std::any_of(tail_.begin(), tail_.end(), [](double tail) { return tail < kBound; });
}

// theta += t step, and eta with it.
void ConvergedFitter::move(double t) {
  for (std::size_t g = 0; g < theta_.s.size(); ++g) {
    theta_.s[g] += t * step_.s[g];
    roughness_[g] += t * (new_roughness_[g] - roughness_[g]);
  }
  for (std::size_t j = 0; j < theta_.beta.size(); ++j) theta_.beta[j] += t * step_.beta[j];
  combine(theta_, eta_);
}

// The normal model: the identity link makes the likelihood quadratic, so one step at the weights N,
// checked against the gradient, reaches its maximum.
NewtonEnd ConvergedFitter::solve_normal(std::span<const double> y) {
  combine(theta_, eta_);
  evaluate(y);
  solved_ = prepare_step();
  if (!solved_) return NewtonEnd::singular;
  double change = change_of(step_eta_), correction = 0;
  const bool accurate = refine_step(change, correction);
  move(1);
  evaluate(y);
  return accurate ? NewtonEnd::converged : NewtonEnd::inaccurate;
}

const ConvergedFit& ConvergedFitter::iterate(double lambda, std::span<const double> y, bool retry) {
  ConvergedFit& r = result_;
  solved_ = false;
  scale_ = lambda * penalty_scale(groups().x);
  r.iterations = 0;
  if (!complete_ || (stop_ && stop_->load(std::memory_order_relaxed))) {  // a stopped run's fits end at once
    r.end = NewtonEnd::stopped;
    r.ok = last_ok_ = false;
    return r;
  }
  if (model_ == Model::normal) {
    r.end = solve_normal(y);
  } else {
    r.end = newton(y, r.iterations);
    // A start far from the maximum, with weights near 0 where it misfits (backfitting can also leave
    // s rough), can send the first steps out where the weights vanish: then again from the constant
    // fit, where every weight is alike; but responses that separate run away from any start.
    if (retry && r.end != NewtonEnd::converged && r.end != NewtonEnd::singular &&
        r.end != NewtonEnd::stopped && !separated_) {
      int steps = 0;
      start_constant(y);
      r.end = newton(y, steps);
      r.iterations += steps;
    }
  }
  r.ok = r.end == NewtonEnd::converged;
  last_ok_ = r.ok;
  finish(y);
  return r;
}

// tr(A^-1 B), B = ((I - S G) X)' W ((I - S G) X) = X'WX - P - P' + R with P = sum_g W_g xbar (S xbar)'
// and R = sum_g W_g (S xbar)(S xbar)': the covariate columns' part of the trace of the hat matrix,
// tr(S) + tr(A^-1 B), at the prepared weights.
double ConvergedFitter::covariate_trace() {
  const int q = columns_, knots = groups().size;
  const auto first = static_cast<std::size_t>(knots);
  // B, four columns j at a time: W_g (S xbar_j)_g formed once for every k, and the four sums over the
  // distinct X side by side, each in its own order, so that they overlap instead of waiting on each other
  for (int from = 0; from < q; from += kTraceSide) {
    const int count = std::min(kTraceSide, q - from);
    for (int g = 0; g < knots; ++g)
      for (int s = 0; s < kTraceSide; ++s)
        trace_weighted_[g * kTraceSide + s] =
            group_weight_[g] * smooth_x_[std::min(from + s, q - 1) * first + g];
    for (int k = 0; k < q; ++k) {
      const double* smooth_k = &smooth_x_[k * first];
      const double* xbar_k = &xbar_[k * first];
      double sums[kTraceSide] = {};
      for (int g = 0; g < knots; ++g)
        for (int s = 0; s < kTraceSide; ++s) sums[s] += trace_weighted_[g * kTraceSide + s] * smooth_k[g];
      for (int s = 0; s < count; ++s) {
        const int j = from + s;
        const double* smooth_j = &smooth_x_[j * first];
        const double* xbar_j = &xbar_[j * first];
        double sum = sums[s];
        for (int c = column_start_[j]; c < column_start_[j + 1]; ++c) {
          const int g = column_group_[c];
          sum -= group_weight_[g] * xbar_j[g] * smooth_k[g];
        }
        for (int c = column_start_[k]; c < column_start_[k + 1]; ++c) {
          const int g = column_group_[c];
          sum -= group_weight_[g] * xbar_k[g] * smooth_j[g];
        }
        trace_columns_[j + k * q] = cross_[std::min(j, k) + std::max(j, k) * q] + sum;
      }
    }
  }
  double trace = 0;
  for (int k = 0; k < q; ++k) {
    std::copy_n(&trace_columns_[k * q], q, column_rhs_.begin());
    dsyms(packed_, q, column_rhs_);  // A's factor, left by prepare_columns
    trace += column_rhs_[k];
  }
  return trace;
}

// tr(S) from the leverages at the prepared weights, those of the first two distinct X scaled back from
// a weight raised to the least to N b''(eta): a leverage is the weight times the variance of the fit
// there, which so small a weight does not change.
double ConvergedFitter::spline_trace() {
  double trace = spline_.leverages(lev_);
  const int first = groups().points[0] + groups().points[1];  // the points at the first two X
  for (int g = 0; g < 2; ++g) zeta_[g] = 0;
  for (int i = 0; i < first; ++i) zeta_[group_of_[i]] += points_.counts[i] * weight_[i];
  for (int g = 0; g < 2; ++g) {
    if (!(zeta_[g] < group_weight_[g])) continue;
    trace -= lev_[g] * (1 - zeta_[g] / group_weight_[g]);
    lev_[g] *= zeta_[g] / group_weight_[g];
  }
  return trace;
}

// The likelihood scores of the fit at the prepared weights, from minus the log likelihood of the
// cases (models 2 and 3; the constants of the Poisson counts left out) or the squares of the normal
// model's cases about the fit. With H = Z'WZ + P the penalized information, P = lambda t K on the values
// of s at the distinct X and Mp = 2 + covariate columns the unpenalized ones,
//   REML = -l + s'Ps/2 + (ln|H| - ln|P|_+)/2 - Mp/2 ln(2 pi),
//   ML   = -l + s'Ps/2 + (ln|H_r| - ln|P|_+)/2,
// H_r the block of H_ss on the complement of the lines, orthogonal to them where each value counts its
// cases (D the cases at each distinct X, so that pooling cases into points changes nothing), in a basis
// orthonormal so: ln|H_r| = ln|H_ss| - ln|D| + ln|N'D H_ss^-1 D N| - ln|N'DN|, N = [1, x - mean]. With
// the covariate,
// ln|H| = ln|H_ss| + ln|A|, A the Schur complement that prepare_columns factored; and
//   ln|H_ss| - ln|P|_+ = (StateSpaceSpline::log_determinant) - ln|N'N|.
// The normal model profiles its scale out: REML = (m/2)(1 + ln(2 pi D_p/m)) + (ln|H| - ln|P|_+)/2 with
// m = cases - Mp, D_p the squares plus s'Ps; ML the same with m = cases and H_r.
void ConvergedFitter::likelihood_scores(double minus_loglik, double squares) {
  ConvergedFit& r = result_;
  const std::span<const double> x = groups().x;
  const int knots = groups().size, q = columns_;
  // s'Ps = lambda t (s - c)'K s for any constant c (K 1 = 0): about s's mean, whose products with K s
  // cancel least
  double centre = 0;
  for (double v : theta_.s) centre += v;
  centre /= knots;
  double penalty = 0;
  for (int g = 0; g < knots; ++g) penalty += (theta_.s[g] - centre) * roughness_[g];
  penalty *= scale_;
  // the lines: N'N, N'DN and N'D H_ss^-1 D N, H_ss^-1 D N = S (D N / W) with S the smoother, both
  // columns at once; about the cases' mean X
  double mean = 0, cases = 0;
  for (int g = 0; g < knots; ++g) mean += knot_cases_[g] * x[g], cases += knot_cases_[g];
  mean /= cases;
  const auto first = static_cast<std::size_t>(knots);
  for (int g = 0; g < knots; ++g) {
    lines_[g] = knot_cases_[g] / group_weight_[g];
    lines_[first + g] = knot_cases_[g] * (x[g] - mean) / group_weight_[g];
  }
  spline_.smooth_columns(lines_, null_lines_, 2);
  // (1,1), (1,x), (x,x) of N'N, N'DN and N'D H_ss^-1 D N
  double nn[3] = {0, 0, 0}, ndn[3] = {0, 0, 0}, nhn[3] = {0, 0, 0};
  for (int g = 0; g < knots; ++g) {
    const double centred = x[g] - mean, d = knot_cases_[g];
    nn[0] += 1, nn[1] += centred, nn[2] += centred * centred;
    ndn[0] += d, ndn[1] += d * centred, ndn[2] += d * (centred * centred);
    nhn[0] += d * null_lines_[g];
  }
  for (int g = 0; g < knots; ++g) {
    const double centred = x[g] - mean, d = knot_cases_[g];
    nhn[1] += d * null_lines_[first + g];
    nhn[2] += d * (centred * null_lines_[first + g]);
  }
  const double log_nn = std::log(nn[0] * nn[2] - nn[1] * nn[1]);
  const double log_ndn = std::log(ndn[0] * ndn[2] - ndn[1] * ndn[1]);
  const double spline_part = spline_.log_determinant() - log_nn;
  double log_schur = 0;  // ln|A| from its Cholesky factor, which holds 1/L(i, i)
  for (int j = 0; j < q; ++j) log_schur -= 2 * std::log(packed_[j * (j + 1) / 2 + j]);
  const double log_full = spline_part + log_schur;
  const double log_range =
      spline_part - log_knot_cases_ + std::log(nhn[0] * nhn[2] - nhn[1] * nhn[1]) - log_ndn;
  const double unpenalized = 2 + q;
  const double two_pi = 2 * std::numbers::pi;
  if (model_ == Model::normal) {
    const double dp = squares + points_.spread + penalty;
    auto profiled = [&](double m) { return m / 2 * (1 + std::log(two_pi * dp / m)); };
    const bool defined = dp > 0 && cases > unpenalized;
    r.reml = defined ? profiled(cases - unpenalized) + log_full / 2 : kNaN;
    r.ml = defined ? profiled(cases) + log_range / 2 : kNaN;
  } else {
    r.reml = minus_loglik + penalty / 2 + log_full / 2 - unpenalized / 2 * std::log(two_pi);
    r.ml = minus_loglik + penalty / 2 + log_range / 2;
  }
}

// The fitted values at the final eta and the scores, with the leverages and the trace at the last
// prepared weights (which differ from the final ones by less than the tolerance of the steps).
void ConvergedFitter::finish(std::span<const double> y) {
  ConvergedFit& r = result_;
  const int n = points_.n;
  r.edf = solved_ ? spline_trace() + (columns_ > 0 ? covariate_trace() : 0.0) : kNaN;
  double squares = 0, deleted = 0, deviance = 0, minus_loglik = 0;
  for (int i = 0; i < n; ++i) {
    const double cases = points_.counts[i], residual = residual_y_[i];
    r.eta[i] = eta_[i];
    if (design_) r.effect[i] = eta_[i] - theta_.s[group_of_[i]];
    r.mean[i] = mean_from_tail(eta_[i], tail_[i], model_);
    const double scale = cases / weight_[i];
    squares += scale * (residual * residual);
    if (!design_) {  // every point its own X: the leverages are the points'
      const double loo = residual / (1 - lev_[i]);
      deleted += scale * (loo * loo);
    }
    if (model_ != Model::normal) {
      const double fitted = y[i] * eta_[i] - cumulant(eta_[i], tail_[i], model_);
      minus_loglik -= cases * fitted;
      deviance += 2 * cases * (saturated(y[i], model_) - fitted);
    }
  }
  const double points = n;
  if (model_ == Model::normal) deviance = squares;
  r.gcv = gcv_score(points, squares, r.edf);
  r.ocv = design_ ? kNaN : deleted / points;
  r.deviance = deviance;
  r.ubre = model_ == Model::normal ? kNaN : deviance / points + 2 * r.edf / points - 1;
  if (solved_ && r.ok && likelihood_)
    likelihood_scores(minus_loglik, squares);
  else
    r.reml = r.ml = kNaN;
  if (design_) {
    r.beta[0] = 0;
    std::copy(theta_.beta.begin(), theta_.beta.end(), r.beta.begin() + 1);
  }
  std::copy(theta_.s.begin(), theta_.s.end(), r.spline.begin());
  std::copy(roughness_.begin(), roughness_.end(), r.jumps.begin());
}

std::size_t ConvergedFitter::workspace_bytes() const {
  std::size_t bytes = spline_.workspace_bytes();
  const auto add = [&](const auto& v) { bytes += v.capacity() * sizeof(v[0]); };
  for (const auto* v : {&row_start_, &entry_column_, &column_start_, &column_group_, &group_of_}) add(*v);
  for (const Unknowns* u : {&theta_, &step_, &unrefined_, &correction_, &residual_, &rhs_})
    add(u->s), add(u->beta);
  for (const auto* v :
       {&entry_value_, &knot_cases_,  &roughness_,     &new_roughness_,  &eta_,           &correction_eta_,
        &step_eta_,    &weight_,      &residual_y_,    &solve_weight_,   &tail_,          &group_weight_,
        &zeta_,        &lev_,         &lines_,         &null_lines_,     &xbar_,          &smooth_x_,
        &cross_,       &packed_,      &column_rhs_,    &trace_weighted_, &trace_columns_, &result_.mean,
        &result_.eta,  &result_.beta, &result_.effect, &result_.spline,  &result_.jumps,  &own_groups_.x})
    add(*v);
  add(own_groups_.counts);
  add(own_groups_.points);
  return bytes;
}

}  // namespace trov
