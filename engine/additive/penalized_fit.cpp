#include "engine/additive/penalized_fit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>

#include "engine/covariate/matrix.h"
#include "engine/spline/links.h"

namespace trov {

namespace {

using Index = std::size_t;

constexpr int kMostIterations = 200;
constexpr int kMostHalvings = 40;
constexpr double kTolerance = 1e-10;   // on the relative change of the penalized deviance
constexpr double kLargestStep = 1e-6;  // of eta, relative to max(1, |eta|), in the last step

constexpr Index packed(Index a, Index b) { return a * (a + 1) / 2 + b; }  // b <= a

double x_log_x(double x) { return x > 0 ? x * std::log(x) : 0; }

// The model at one linear predictor (canonical links, no limits): the mean, y - mu, b''(eta), b'''(eta),
// and the log likelihood's y eta - b(eta) per case; the binomial's from the smaller of mu and 1 - mu,
// accurate in both tails.
struct Response {
  double mean, residual, weight, slope, loglik;
};

Response response_at(double eta, double y, Model model) {
  switch (model) {
    case Model::binomial: {
      const auto [larger, smaller] = binomial_tails(eta);
      const double mean = eta >= 0 ? larger : smaller;
      const double residual = eta >= 0 ? (y - 1) + smaller : y - smaller;
      const double weight = larger * smaller;
      return {mean, residual, weight, weight * (1 - 2 * mean),
              y * eta - (std::max(eta, 0.0) - std::log1p(-smaller))};
    }
    case Model::poisson: {
      const double mean = std::exp(eta);
      return {mean, y - mean, mean, mean, y * eta - mean};
    }
    default:
      return {eta, y - eta, 1, 0, -(y - eta) * (y - eta) / 2};
  }
}

// The saturated fit's y eta - b(eta) per case (binomial and Poisson).
double saturated(double y, Model model) {
  return model == Model::binomial ? x_log_x(y) + x_log_x(1 - y) : x_log_x(y) - y;
}

double start_eta(double y, double n, Model model) {
  switch (model) {
    case Model::binomial: {
      const double mean = (n * y + 0.5) / (n + 1);
      return std::log(mean / (1 - mean));
    }
    case Model::poisson:
      return std::log(y + 0.1);
    default:
      return y;
  }
}

}  // namespace

AdditiveFitter::AdditiveFitter(const AdditiveDesign& design, std::span<const double> y,
                               std::span<const double> counts, Model model)
    : design_(design), y_(y), counts_(counts), model_(model) {
  const auto n = static_cast<Index>(design.cases), p = static_cast<Index>(design.columns);
  for (Index i = 0; i < n; ++i) cases_ += counts[i];
  mean_.resize(n);
  weight_.resize(n);
  slope_.resize(n);
  const auto q = static_cast<Index>(design.coordinates);
  packed_.resize(p * (p + 1) / 2);
  rhs_.resize(p);
  gram_.resize(q * q);
  working_.resize(q);
  product_.resize(q * p);
}

void AdditiveFitter::prepare(std::span<const double> eta) {
  for (Index i = 0; i < mean_.size(); ++i) {
    const Response r = response_at(eta[i], y_[i], model_);
    mean_[i] = r.mean;
    weight_[i] = counts_[i] * r.weight;
    slope_[i] = counts_[i] * r.slope;
  }
}

void AdditiveFitter::assemble(std::span<const double> lambda, std::span<const double> eta) {
  const auto p = static_cast<Index>(design_.columns), q = static_cast<Index>(design_.coordinates);
  const auto width = static_cast<Index>(design_.width);
  // R'WR and R'(W eta + N (y - mu)) on the coordinates, a case's few entries at a time; then
  // X'WX = T' (R'WR) T and X'(...) = T' R'(...)
  std::fill(gram_.begin(), gram_.end(), 0.0);
  std::fill(working_.begin(), working_.end(), 0.0);
  for (Index i = 0; i < mean_.size(); ++i) {
    const int* index = design_.index.data() + i * width;
    const double* entry = design_.entries.data() + i * width;
    const double w = weight_[i], working = w * eta[i] + counts_[i] * (y_[i] - mean_[i]);
    for (Index e = 0; e < width; ++e) {
      const double s = w * entry[e];
      double* target = gram_.data() + static_cast<Index>(index[e]) * q;
      for (Index f = 0; f < width; ++f) target[index[f]] += s * entry[f];
      working_[static_cast<Index>(index[e])] += working * entry[e];
    }
  }
  const std::vector<double>& t = design_.transform;
  // G T, coordinates x columns
  std::fill(product_.begin(), product_.end(), 0.0);
  for (Index r = 0; r < q; ++r)
    for (Index s = 0; s < q; ++s) {
      const double g = gram_[r * q + s];
      if (g == 0) continue;
      for (Index c = 0; c < p; ++c) product_[r * p + c] += g * t[s * p + c];
    }
  std::fill(packed_.begin(), packed_.end(), 0.0);
  std::fill(rhs_.begin(), rhs_.end(), 0.0);
  for (Index r = 0; r < q; ++r)
    for (Index a = 0; a < p; ++a) {
      const double ta = t[r * p + a];
      if (ta == 0) continue;
      for (Index b = 0; b <= a; ++b) packed_[packed(a, b)] += ta * product_[r * p + b];
      rhs_[a] += ta * working_[r];
    }
  Index l = 0;
  for (const SmoothTerm& term : design_.smooths) {
    const auto first = static_cast<Index>(term.first), k = static_cast<Index>(term.columns);
    for (const std::vector<double>& penalty : term.penalties) {
      for (Index a = 0; a < k; ++a)
        for (Index b = 0; b <= a; ++b) packed_[packed(first + a, first + b)] += lambda[l] * penalty[a * k + b];
      ++l;
    }
  }
}

double AdditiveFitter::deviance(std::span<const double> eta) const {
  double sum = 0;
  for (Index i = 0; i < mean_.size(); ++i) {
    const Response r = response_at(eta[i], y_[i], model_);
    sum += model_ == Model::normal ? counts_[i] * (r.residual * r.residual)
                                   : 2 * counts_[i] * (saturated(y_[i], model_) - r.loglik);
  }
  return sum;
}

double AdditiveFitter::penalty(std::span<const double> lambda, std::span<const double> beta) const {
  double sum = 0;
  Index l = 0;
  for (const SmoothTerm& term : design_.smooths) {
    const auto first = static_cast<Index>(term.first), q = static_cast<Index>(term.columns);
    for (const std::vector<double>& penalty : term.penalties) {
      double quadratic = 0;
      for (Index a = 0; a < q; ++a)
        for (Index b = 0; b < q; ++b) quadratic += beta[first + a] * penalty[a * q + b] * beta[first + b];
      sum += lambda[l++] * quadratic;
    }
  }
  return sum;
}

void AdditiveFitter::linear_predictor(std::span<const double> beta, std::vector<double>& eta) {
  design_.coordinates_of(beta, coordinates_);
  eta.resize(static_cast<Index>(design_.cases));
  for (Index i = 0; i < eta.size(); ++i) eta[i] = design_.dot(static_cast<int>(i), coordinates_);
}

AdditiveFit AdditiveFitter::fit(std::span<const double> lambda, std::span<const double> start) {
  const auto n = static_cast<Index>(design_.cases), p = static_cast<Index>(design_.columns);
  AdditiveFit fit;
  fit.lambda.assign(lambda.begin(), lambda.end());
  std::vector<double>& beta = fit.beta;
  std::vector<double>& eta = fit.eta;
  const bool from_start = !start.empty();
  double previous = std::numeric_limits<double>::infinity();
  if (from_start) {
    beta.assign(start.begin(), start.end());
    linear_predictor(beta, eta);
    previous = deviance(eta) + penalty(lambda, beta);
  } else {
    eta.resize(n);
    for (Index i = 0; i < n; ++i) eta[i] = start_eta(y_[i], counts_[i], model_);
  }
  bool have_beta = from_start;
  std::vector<double> next(p), next_eta;
  fit.end = AdditiveFitEnd::not_converged;
  for (int iteration = 1; iteration <= kMostIterations; ++iteration) {
    fit.iterations = iteration;
    prepare(eta);
    assemble(lambda, eta);
    next = rhs_;
    if (dsym(packed_, static_cast<int>(p), next) != 0) {
      fit.end = AdditiveFitEnd::not_positive_definite;
      return fit;
    }
    linear_predictor(next, next_eta);
    double current = deviance(next_eta) + penalty(lambda, next);
    // a step that raises the penalized deviance goes half the way, until it does not
    for (int halving = 0; have_beta && !(current <= previous) && halving < kMostHalvings; ++halving) {
      for (Index a = 0; a < p; ++a) next[a] = (beta[a] + next[a]) / 2;
      linear_predictor(next, next_eta);
      current = deviance(next_eta) + penalty(lambda, next);
    }
    if (!std::isfinite(current)) return fit;
    const bool settled = std::abs(previous - current) <= kTolerance * (std::abs(current) + 1);
    if (have_beta && current > previous && !settled) return fit;  // no step lowers it: ran away
    // the deviance settles while the coefficients still move by the square root of its tolerance; the
    // score's gradient, first order in them, needs the step itself small too
    double moved = 0;
    for (Index i = 0; i < n; ++i)
      moved = std::max(moved, std::abs(next_eta[i] - eta[i]) / std::max(1.0, std::abs(eta[i])));
    beta = next;
    eta = next_eta;
    have_beta = true;
    // the normal model's weights do not depend on eta: its one solve is the fit
    if ((settled && moved <= kLargestStep) || model_ == Model::normal) {
      fit.end = AdditiveFitEnd::converged;
      break;
    }
    previous = current;
  }
  if (fit.ok()) score(fit);
  return fit;
}

// The score at the converged fit: with H = X'WX + S_lambda at its weights, S_lambda = sum lambda_l S_l
// and Mp the unpenalized columns,
//   binomial, Poisson: V = -l + b'S b/2 + (ln|H| - ln|S_lambda|+)/2 - (Mp/2) ln(2 pi),
//   normal:            V = (m/2)(1 + ln(2 pi Dp/m)) + (ln|H| - ln|S_lambda|+)/2, Dp = D + b'S b,
//                      m = sum N - Mp;
// and its derivative in rho_l = ln lambda_l (b at its optimum, so only H's dependence on rho counts
// beside the penalty's): dV/drho_l = lambda_l b'S_l b / (2 phi) + (tr(H^-1 dH/drho_l) - d ln|S|+/drho_l)/2,
// phi = Dp/m (normal) or 1, dH/drho_l = lambda_l S_l + X' diag(W' deta_l) X, deta_l = X db_l,
// db_l = -lambda_l H^-1 S_l b; the second term's trace is sum_i W'_i deta_il h_i, h_i = x_i' H^-1 x_i.
void AdditiveFitter::score(AdditiveFit& fit) {
  const auto n = static_cast<Index>(design_.cases), p = static_cast<Index>(design_.columns);
  const auto lambdas = static_cast<Index>(design_.lambdas());
  prepare(fit.eta);
  assemble(fit.lambda, fit.eta);
  std::vector<double>& inverse = packed_;
  if (dsymd(inverse, static_cast<int>(p)) != 0) {
    fit.end = AdditiveFitEnd::not_positive_definite;
    return;
  }
  double log_h = 0;  // the factor holds 1/L(a, a)
  for (Index a = 0; a < p; ++a) log_h -= 2 * std::log(inverse[packed(a, a)]);
  dsymi(inverse, -static_cast<int>(p));
  auto at = [&](Index a, Index b) { return a >= b ? inverse[packed(a, b)] : inverse[packed(b, a)]; };

  fit.deviance = deviance(fit.eta);
  fit.edf.clear();
  fit.total_edf = static_cast<double>(p);
  std::vector<double> quadratic(lambdas), trace(lambdas), log_s_gradient(lambdas);
  std::vector<std::vector<double>> step(lambdas);  // db_l
  double log_s = 0;
  fit.penalty = 0;
  Index l = 0;
  for (const SmoothTerm& term : design_.smooths) {
    const auto first = static_cast<Index>(term.first), q = static_cast<Index>(term.columns);
    const std::span<const double> term_lambda(fit.lambda.data() + l, term.penalties.size());
    log_s += term.log_determinant(term_lambda, std::span<double>(log_s_gradient.data() + l, term_lambda.size()));
    double edf = static_cast<double>(q);
    for (const std::vector<double>& penalty : term.penalties) {
      std::vector<double> sb(q, 0.0);  // S_l b
      double tr = 0;
      for (Index a = 0; a < q; ++a)
        for (Index b = 0; b < q; ++b) {
          sb[a] += penalty[a * q + b] * fit.beta[first + b];
          tr += at(first + a, first + b) * penalty[a * q + b];
        }
      double bsb = 0;
      for (Index a = 0; a < q; ++a) bsb += fit.beta[first + a] * sb[a];
      quadratic[l] = bsb;
      trace[l] = tr;
      edf -= fit.lambda[l] * tr;
      fit.penalty += fit.lambda[l] * bsb;
      step[l].assign(p, 0.0);
      for (Index a = 0; a < p; ++a)
        for (Index b = 0; b < q; ++b) step[l][a] -= fit.lambda[l] * at(a, first + b) * sb[b];
      ++l;
    }
    fit.edf.push_back(edf);
    fit.total_edf -= static_cast<double>(q) - edf;
  }
  const double mp = design_.unpenalized(), two_pi = 2 * std::numbers::pi;
  double phi = 1;
  if (model_ == Model::normal) {
    const double dp = fit.deviance + fit.penalty, m = cases_ - mp;
    phi = dp / m;
    fit.reml = m / 2 * (1 + std::log(two_pi * phi)) + (log_h - log_s) / 2;
  } else {
    double saturated_sum = 0;
    for (Index i = 0; i < n; ++i) saturated_sum += counts_[i] * saturated(y_[i], model_);
    fit.reml =
        fit.deviance / 2 - saturated_sum + fit.penalty / 2 + (log_h - log_s) / 2 - mp / 2 * std::log(two_pi);
  }
  std::vector<double> weighted(lambdas, 0.0);  // sum_i W'_i deta_il h_i
  if (model_ != Model::normal) {
    // h_i = r_i' (T H^-1 T') r_i on the coordinates
    const auto q = static_cast<Index>(design_.coordinates), width = static_cast<Index>(design_.width);
    const std::vector<double>& t = design_.transform;
    std::fill(product_.begin(), product_.end(), 0.0);  // T H^-1
    for (Index r = 0; r < q; ++r)
      for (Index a = 0; a < p; ++a) {
        const double ta = t[r * p + a];
        if (ta == 0) continue;
        for (Index b = 0; b < p; ++b) product_[r * p + b] += ta * at(a, b);
      }
    for (Index r = 0; r < q; ++r)
      for (Index s = 0; s < q; ++s) {
        double sum = 0;
        for (Index c = 0; c < p; ++c) sum += product_[r * p + c] * t[s * p + c];
        gram_[r * q + s] = sum;
      }
    std::vector<std::vector<double>> step_coordinates(lambdas);
    for (Index j = 0; j < lambdas; ++j) design_.coordinates_of(step[j], step_coordinates[j]);
    for (Index i = 0; i < n; ++i) {
      const int* index = design_.index.data() + i * width;
      const double* entry = design_.entries.data() + i * width;
      double h = 0;
      for (Index e = 0; e < width; ++e) {
        const double* row = gram_.data() + static_cast<Index>(index[e]) * q;
        double sum = 0;
        for (Index f = 0; f < width; ++f) sum += row[index[f]] * entry[f];
        h += entry[e] * sum;
      }
      for (Index j = 0; j < lambdas; ++j)
        weighted[j] += slope_[i] * design_.dot(static_cast<int>(i), step_coordinates[j]) * h;
    }
  }
  fit.reml_gradient.resize(lambdas);
  for (Index j = 0; j < lambdas; ++j)
    fit.reml_gradient[j] = fit.lambda[j] * quadratic[j] / (2 * phi) +
                           (fit.lambda[j] * trace[j] + weighted[j] - log_s_gradient[j]) / 2;
  fit.inverse = inverse;
}

}  // namespace trov
