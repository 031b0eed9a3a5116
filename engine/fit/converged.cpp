#include "engine/fit/converged.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "engine/covariate/matrix.h"
#include "engine/spline/links.h"
#include "engine/spline/natural_spline.h"

namespace trov {

namespace {

constexpr int kMaxSteps = 100;
constexpr int kMaxHalvings = 40;
constexpr double kTolerance = 1e-9;  // largest change of eta, relative to max(1, |eta|)
constexpr double kNearby = 1e-4;     // a change below which Newton converges quadratically
constexpr double kMaxEta = 300;      // beyond, the weights of the model vanish or overflow
// A step may lose this much of the penalized log likelihood, relative to the size of its terms, to
// rounding: near the maximum the gain of a step is below what the sums can resolve.
constexpr double kSlack = 1e-10;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The model at one linear predictor, without the limits of the classic fits: the mean, the weight
// b''(eta), the residual y - mu, each accurate where mu nears 0 or 1, and when asked the cumulant b(eta):
// ln(1 + e^eta) (binomial) or e^eta (Poisson).
struct AtEta {
  double mean, weight, residual, cumulant;
};

AtEta at_eta(double eta, double y, Model model, bool cumulant) {
  switch (model) {
    case Model::binomial: {
      const double e = std::exp(-std::abs(eta));
      const double larger = 1 / (1 + e), smaller = e * larger;  // mu and 1 - mu, the larger first
      // y - mu = (y - 1) + (1 - mu) when 1 - mu is the smaller one
      const double residual = eta >= 0 ? (y - 1) + smaller : y - smaller;
      return {eta >= 0 ? larger : smaller, larger * smaller, residual,
              cumulant ? std::max(eta, 0.0) + std::log1p(e) : 0.0};
    }
    case Model::poisson: {
      const double mean = std::exp(eta);
      return {mean, mean, y - mean, mean};
    }
    default:
      return {eta, 1, y - eta, eta * eta / 2};
  }
}

double x_log_x(double x) { return x > 0 ? x * std::log(x) : 0; }

// The log likelihood y eta - b(eta) of the saturated fit eta = link(y), per case.
double saturated(double y, Model model) {
  return model == Model::binomial ? x_log_x(y) + x_log_x(1 - y) : x_log_x(y) - y;
}

}  // namespace

ConvergedFitter::ConvergedFitter(const Points& points, const Covariate* covariate, Model model)
    : points_(points),
      design_(covariate ? &covariate->design : nullptr),
      model_(model),
      own_groups_(covariate ? XGroups{} : compressx(points.x, points.irep, points.n)),
      covariate_groups_(covariate ? &covariate->groups : nullptr),
      columns_(covariate ? covariate->design.columns - 1 : 0),
      spline_(groups().nunique),
      curvatures_(groups().xcompress) {
  const auto n = static_cast<std::size_t>(points.n);
  const auto knots = static_cast<std::size_t>(groups().nunique);
  const auto q = static_cast<std::size_t>(columns_);
  for (auto* v : {&eta_, &trial_eta_, &weight_, &working_, &response_, &solve_weight_}) v->resize(n);
  for (auto* v : {&s_, &trial_s_, &group_weight_, &dy_, &zeta_, &smooth_zeta_, &lev_, &scratch_, &curvature_})
    v->resize(knots);
  xbar_.resize(q * knots);
  smooth_x_.resize(q * knots);
  for (auto* v : {&beta_, &trial_beta_, &rhs_}) v->resize(q);
  cross_.resize(q * q);
  packed_.resize(q * (q + 1) / 2);
  result_.mean.resize(n);
  result_.eta.resize(n);
  if (covariate) result_.beta.resize(q + 1);
}

void ConvergedFitter::start_constant(std::span<const double> y) {
  // the constant fit at the mean of the point means, as the classic fits start
  double ybar = 0;
  for (int i = 0; i < points_.n; ++i) ybar += y[i];
  ybar = ybar / points_.n;
  const double nu0 = model_ == Model::normal ? ybar : limit_nu(ytonu(ybar, model_));
  std::fill(s_.begin(), s_.end(), nu0);
  std::fill(beta_.begin(), beta_.end(), 0.0);
}

const ConvergedFit& ConvergedFitter::fit(double lambda, std::span<const double> y, const FitResult& classic) {
  increments_ = true;  // every such fit starts alike, whatever the fitter did before
  if (classic.status != FitStatus::ok) {
    start_constant(y);
  } else if (design_) {
    // s at a distinct X: the classic linear predictor without the covariate effect, at its first point
    int point = 0;
    for (int g = 0; g < groups().nunique; point += groups().icases[g], ++g) s_[g] = classic.nufit[point];
    for (int j = 0; j < columns_; ++j) beta_[j] = classic.beta[j + 1];
  } else {
    std::copy_n(classic.snu.begin(), groups().nunique, s_.begin());
  }
  return iterate(lambda, y);
}

const ConvergedFit& ConvergedFitter::refit(double lambda, std::span<const double> y) {
  if (!last_ok_) start_constant(y);
  return iterate(lambda, y);
}

// eta = s at the point's X + X beta over the columns after the intercept.
void ConvergedFitter::combine(std::span<const double> s, std::span<const double> beta,
                              std::span<double> eta) const {
  expandy(s, groups(), eta);
  for (int j = 0; j < columns_; ++j)
    for (int i = 0; i < points_.n; ++i) eta[i] += beta[j] * column(i, j);
}

// Fills the weights b''(eta) and the working residuals (y - mu)/w at eta; returns the log
// likelihood sum N (y eta - b(eta)) when asked for it, else 0, and NaN when a weight vanished.
double ConvergedFitter::evaluate(std::span<const double> eta, std::span<const double> y, bool likelihood) {
  double sum = 0;
  for (int i = 0; i < points_.n; ++i) {
    const AtEta a = at_eta(eta[i], y[i], model_, likelihood);
    if (!(a.weight >= std::numeric_limits<double>::min())) return kNaN;
    weight_[i] = a.weight;
    working_[i] = a.residual / a.weight;
    sum += points_.irep[i] * (y[i] * eta[i] - a.cumulant);
  }
  return likelihood ? sum : 0.0;
}

// The largest change from eta to the trial eta, relative to max(1, |eta|).
double ConvergedFitter::trial_change() const {
  double change = 0;
  for (int i = 0; i < points_.n; ++i)
    change = std::max(change, std::abs(trial_eta_[i] - eta_[i]) / std::max(1.0, std::abs(eta_[i])));
  return change;
}

// (lambda t / 2) integral s''^2 of the natural spline through s at the distinct X: s'' is linear
// between knots, so each interval gives h (M_i^2 + M_i M_{i+1} + M_{i+1}^2) / 3.
double ConvergedFitter::penalty(double lambda, std::span<const double> s) {
  const std::span<const double> x = groups().xcompress;
  curvatures_.curvatures(s, curvature_);
  double integral = 0;
  for (int i = 0; i + 1 < groups().nunique; ++i) {
    const double m0 = curvature_[i], m1 = curvature_[i + 1];
    integral += (x[i + 1] - x[i]) * (m0 * m0 + m0 * m1 + m1 * m1) / 3;
  }
  return lambda * penalty_scale(x) / 2 * integral;
}

// One Newton step from (s, beta): the penalized weighted least-squares fit with weights W = N w to the
// working response eta + r, r = (y - mu)/w. With S the smoother on the distinct X at the grouped weights,
// G the W-weighted mean over a distinct X and A = X'W(I - S G) X, it is solved either for the new values
//   zeta = G (eta + r),  A beta = X'W (eta + r) - X'W S zeta,  s = S (zeta - G X beta),
// or for the increments, with K the roughness matrix (s'Ks = integral s''^2),
//   zeta = G r - lambda t K s / W_G,  A d_beta = X'W r - X'W S zeta,  d_s = S (zeta - G X d_beta),
// into trial_s_ and trial_beta_; false when A is singular. Keeps what the covariate trace needs.
bool ConvergedFitter::newton_solve(double lambda, bool increments) {
  const int n = points_.n, knots = groups().nunique, q = columns_;
  const std::span<const double> x = groups().xcompress;
  const auto first = static_cast<std::size_t>(knots);
  // K s = Q M with M the knot curvatures of the natural spline through s
  if (increments) curvatures_.curvatures(s_, curvature_);
  const double scale = lambda * penalty_scale(x);
  for (int i = 0; i < n; ++i) solve_weight_[i] = points_.irep[i] * weight_[i];
  // the response of the least-squares fit: r for the increments, eta + r for the new values
  for (int i = 0; i < n; ++i) response_[i] = increments ? working_[i] : eta_[i] + working_[i];
  int point = 0;
  for (int g = 0; g < knots; ++g) {
    double w = 0, wr = 0;
    for (int c = 0; c < groups().icases[g]; ++c, ++point) {
      w += solve_weight_[point];
      wr += solve_weight_[point] * response_[point];
    }
    group_weight_[g] = w;
    zeta_[g] = wr;
    if (increments) {
      const double after = g + 1 < knots ? (curvature_[g + 1] - curvature_[g]) / (x[g + 1] - x[g]) : 0;
      const double before = g > 0 ? (curvature_[g] - curvature_[g - 1]) / (x[g] - x[g - 1]) : 0;
      zeta_[g] -= scale * (after - before);
    }
    zeta_[g] /= w;
    dy_[g] = 1 / std::sqrt(w);
  }
  const std::span<const double> dy = std::span(dy_).first(first);
  spline_trace_ = smths(lambda, x, std::span(zeta_).first(first), dy, smooth_zeta_, lev_, spline_);
  if (q == 0) {
    for (int g = 0; g < knots; ++g) trial_s_[g] = (increments ? s_[g] : 0.0) + smooth_zeta_[g];
    return true;
  }
  for (int j = 0; j < q; ++j) {
    const std::span<double> xbar = std::span(xbar_).subspan(j * first, first);
    point = 0;
    for (int g = 0; g < knots; ++g) {
      double wx = 0;
      for (int c = 0; c < groups().icases[g]; ++c, ++point) wx += solve_weight_[point] * column(point, j);
      xbar[g] = wx / group_weight_[g];
    }
    smths(lambda, x, xbar, dy, std::span(smooth_x_).subspan(j * first, first), scratch_, spline_);
  }
  // X'WX and X'Wz over the points, then the parts that the smoother takes, over the distinct X
  for (int j = 0; j < q; ++j) {
    for (int k = j; k < q; ++k) {
      double sum = 0;
      for (int i = 0; i < n; ++i) sum += solve_weight_[i] * column(i, j) * column(i, k);
      cross_[j + k * q] = cross_[k + j * q] = sum;
    }
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += solve_weight_[i] * column(i, j) * response_[i];
    rhs_[j] = sum;
  }
  for (int j = 0; j < q; ++j) {
    const double* xbar = &xbar_[j * first];
    for (int k = j; k < q; ++k) {
      const double* smooth = &smooth_x_[k * first];
      double sum = 0;
      for (int g = 0; g < knots; ++g) sum += group_weight_[g] * xbar[g] * smooth[g];
      packed_[k * (k + 1) / 2 + j] = cross_[j + k * q] - sum;  // element (k, j) of the packed lower triangle
    }
    double sum = 0;
    for (int g = 0; g < knots; ++g) sum += group_weight_[g] * xbar[g] * smooth_zeta_[g];
    rhs_[j] -= sum;
  }
  if (dsym(packed_, q, rhs_) != 0) return false;
  for (int j = 0; j < q; ++j) trial_beta_[j] = (increments ? beta_[j] : 0.0) + rhs_[j];
  for (int g = 0; g < knots; ++g) {
    double step = smooth_zeta_[g];
    for (int j = 0; j < q; ++j) step -= rhs_[j] * smooth_x_[j * first + g];
    trial_s_[g] = (increments ? s_[g] : 0.0) + step;
  }
  return true;
}

// tr(A^-1 B), B = ((I - S G) X)' W ((I - S G) X), from the last solve: the covariate columns' part of
// the trace of the hat matrix, tr(S) + tr(A^-1 B).
double ConvergedFitter::covariate_trace() {
  const int q = columns_, knots = groups().nunique;
  const auto first = static_cast<std::size_t>(knots);
  double trace = 0;
  for (int k = 0; k < q; ++k) {
    const double* xbar_k = &xbar_[k * first];
    const double* smooth_k = &smooth_x_[k * first];
    for (int j = 0; j < q; ++j) {
      const double* xbar_j = &xbar_[j * first];
      const double* smooth_j = &smooth_x_[j * first];
      double sum = 0;
      for (int g = 0; g < knots; ++g)
        sum += group_weight_[g] *
               (xbar_j[g] * smooth_k[g] + smooth_j[g] * xbar_k[g] - smooth_j[g] * smooth_k[g]);
      rhs_[j] = cross_[j + k * q] - sum;
    }
    dsyms(packed_, q, rhs_);  // A's factor, left by the solve
    trace += rhs_[k];
  }
  return trace;
}

const ConvergedFit& ConvergedFitter::iterate(double lambda, std::span<const double> y) {
  ConvergedFit& r = result_;
  r.ok = false;
  r.iterations = 0;
  bool solved = false;
  if (model_ == Model::normal) {
    // the identity link: one step at the weights N solves it
    combine(s_, beta_, eta_);
    std::fill(weight_.begin(), weight_.end(), 1.0);
    for (int i = 0; i < points_.n; ++i) working_[i] = y[i] - eta_[i];
    solved = r.ok = newton_solve(lambda, true);
    if (solved) {
      std::swap(s_, trial_s_);
      std::swap(beta_, trial_beta_);
    }
    combine(s_, beta_, eta_);
  } else {
    combine(s_, beta_, eta_);
    bool finite = !std::isnan(evaluate(eta_, y, false));
    double objective = kNaN;  // the penalized log likelihood at eta, once evaluated
    // The smoother rounds the new values in proportion to eta, which limits them when lambda is
    // large, and the increments in proportion to the penalty's pull divided by the weight, which limits
    // them where weights are tiny: a form whose steps stop shrinking hands over to the other, and a
    // refit (a nearby lambda) starts with the form that ended the fit before.
    double previous_change = kNaN;
    for (int step = 1; step <= kMaxSteps && finite; ++step) {
      r.iterations = step;
      if (!newton_solve(lambda, increments_)) break;
      solved = true;
      combine(trial_s_, trial_beta_, trial_eta_);
      double largest = 0;
      for (int i = 0; i < points_.n; ++i) largest = std::max(largest, std::abs(trial_eta_[i]));
      if (!(largest <= kMaxEta)) break;  // the fit runs away: stop rather than overflow
      double change = trial_change();
      if (change < kNearby) {
        // Newton converges quadratically here, and the likelihood cannot resolve the step: take it whole
        finite = !std::isnan(evaluate(trial_eta_, y, false));
        objective = kNaN;
      } else {
        // Step halving until the penalized log likelihood does not fall.
        if (std::isnan(objective)) objective = evaluate(eta_, y, true) - penalty(lambda, s_);
        bool accepted = false;
        for (int halving = 0; halving <= kMaxHalvings && !accepted; ++halving) {
          if (halving > 0) {
            for (std::size_t g = 0; g < s_.size(); ++g) trial_s_[g] = (s_[g] + trial_s_[g]) / 2;
            for (std::size_t j = 0; j < beta_.size(); ++j) trial_beta_[j] = (beta_[j] + trial_beta_[j]) / 2;
            for (int i = 0; i < points_.n; ++i) trial_eta_[i] = (eta_[i] + trial_eta_[i]) / 2;
          }
          const double likelihood = evaluate(trial_eta_, y, true);
          if (std::isnan(likelihood)) break;
          const double value = likelihood - penalty(lambda, trial_s_);
          accepted = value >= objective - kSlack * (std::abs(objective) + std::abs(likelihood) + 1);
          if (accepted) objective = value;
        }
        if (!accepted) break;
        change = trial_change();
      }
      std::swap(eta_, trial_eta_);
      std::swap(s_, trial_s_);
      std::swap(beta_, trial_beta_);
      if (change < kTolerance) {
        r.ok = finite;
        break;
      }
      // the first step of a form moves off the other's rounding: judge it by the next one
      const bool stalled = change > previous_change / 2;
      if (stalled) increments_ = !increments_;
      previous_change = stalled ? kNaN : change;
    }
  }
  last_ok_ = r.ok;
  finish(y, solved);
  return r;
}

// The fitted values at the final eta and the scores, with the leverages and the trace of the last
// solve (whose weights differ from the final ones by less than the tolerance of the steps).
void ConvergedFitter::finish(std::span<const double> y, bool solved) {
  ConvergedFit& r = result_;
  const int n = points_.n;
  double squares = 0, deleted = 0, deviance = 0;
  for (int i = 0; i < n; ++i) {
    const AtEta a = at_eta(eta_[i], y[i], model_, true);
    const double cases = points_.irep[i];
    r.eta[i] = eta_[i];
    r.mean[i] = a.mean;
    const double scale = cases / a.weight;
    squares += scale * (a.residual * a.residual);
    if (!design_) {  // every point its own X: the leverages are the points'
      const double loo = a.residual / (1 - lev_[i]);
      deleted += scale * (loo * loo);
    }
    deviance += model_ == Model::normal
                    ? cases * (a.residual * a.residual)
                    : 2 * cases * (saturated(y[i], model_) - (y[i] * eta_[i] - a.cumulant));
  }
  const double points = n;
  r.edf = solved ? spline_trace_ + (columns_ > 0 ? covariate_trace() : 0.0) : kNaN;
  r.gcv = points * squares / ((points - r.edf) * (points - r.edf));
  r.ocv = design_ ? kNaN : deleted / points;
  r.deviance = deviance;
  r.ubre = model_ == Model::normal ? kNaN : deviance / points + 2 * r.edf / points - 1;
  if (design_) {
    r.beta[0] = 0;
    std::copy(beta_.begin(), beta_.end(), r.beta.begin() + 1);
  }
}

RefinedMinimum refine_minimum(ConvergedFitter& fitter, std::span<const double> y, double lo, double hi,
                              double ConvergedFit::*score, double tolerance) {
  RefinedMinimum best;
  double best_score = std::numeric_limits<double>::infinity();
  auto evaluate = [&](double lnlambda) {
    const ConvergedFit& fit = fitter.refit(std::exp(lnlambda), y);
    const double value = fit.*score;
    if (!fit.ok || !std::isfinite(value)) return std::numeric_limits<double>::infinity();
    if (value < best_score) {
      best_score = value;
      best = {lnlambda, value, fit.edf, true};
    }
    return value;
  };
  // Brent's minimization: a parabola through the three best points where it steps well inside the
  // bracket [a, b], else a golden-section step into the larger part; x is the best point, w the second
  // and v the third. It ends when the bracket is narrower than the tolerance.
  const double golden = (3 - std::sqrt(5.0)) / 2;
  const double tol = tolerance / 4;
  double a = lo, b = hi;
  double x = a + golden * (b - a), w = x, v = x;
  double fx = evaluate(x), fw = fx, fv = fx;
  double d = 0, e = 0;  // the last step and the one before
  for (;;) {
    const double middle = (a + b) / 2;
    if (std::abs(x - middle) <= 2 * tol - (b - a) / 2) break;
    bool parabolic = false;
    if (std::abs(e) > tol) {
      double r = (x - w) * (fx - fv), q = (x - v) * (fx - fw);
      double p = (x - v) * q - (x - w) * r;
      q = 2 * (q - r);
      if (q > 0) p = -p;
      q = std::abs(q);
      const double before = e;
      e = d;
      // the parabola's step: less than half the one before, and inside the bracket
      if (std::abs(p) < std::abs(q * before / 2) && p > q * (a - x) && p < q * (b - x)) {
        d = p / q;
        if (x + d - a < 2 * tol || b - (x + d) < 2 * tol) d = x < middle ? tol : -tol;
        parabolic = true;
      }
    }
    if (!parabolic) {
      e = (x < middle ? b : a) - x;
      d = golden * e;
    }
    const double u = x + (std::abs(d) >= tol ? d : (d > 0 ? tol : -tol));
    const double fu = evaluate(u);
    if (fu <= fx) {
      (u < x ? b : a) = x;
      v = w, fv = fw, w = x, fw = fx, x = u, fx = fu;
    } else {
      (u < x ? a : b) = u;
      if (fu <= fw || w == x) {
        v = w, fv = fw, w = u, fw = fu;
      } else if (fu <= fv || v == x || v == w) {
        v = u, fv = fu;
      }
    }
  }
  return best;
}

}  // namespace trov
