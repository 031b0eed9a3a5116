#include "engine/fit/converged.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <vector>

#include "engine/core/grouping.h"
#include "engine/covariate/design.h"
#include "engine/fit/fitter.h"
#include "engine/spline/smths.h"
#include "tests/fit/quadruple_reference.h"
#include "tests/spline/dense_reference.h"

namespace trov {
namespace {

using test::Matrix;
using test::Real;

enum class Kind { none, continuous, categorical };

const char* name_of(Kind kind) {
  return kind == Kind::none ? "no covariate" : kind == Kind::continuous ? "continuous" : "categorical";
}

// Points at 25 uneven trait values (one per value without covariate, else one to three with their
// covariate values), responses drawn around a curve that reaches fitted probabilities near 0.
struct Case {
  Points points;
  std::optional<Covariate> covariate;
  Model model = Model::normal;
  const Covariate* with() const { return covariate ? &*covariate : nullptr; }
};

Case make_case(Model model, Kind kind) {
  std::mt19937 rng(17 + static_cast<unsigned>(kind) * 3 + static_cast<unsigned>(model));
  std::uniform_real_distribution<double> unit(0, 1);
  Case c;
  c.model = model;
  double x = 0;
  for (int k = 0; k < 25; ++k) {
    x += 0.05 + unit(rng);
    std::vector<double> covariates{0.0};
    if (kind == Kind::continuous) covariates = {0.1 + unit(rng), 1.2 + unit(rng)};
    if (kind == Kind::categorical) covariates = k % 4 == 0 ? std::vector{2.0} : std::vector{1.0, 2.0, 3.0};
    if (kind == Kind::continuous && k % 3 == 0) covariates.pop_back();
    for (double cov : covariates) {
      const double eta = 3 * std::sin(x / 3) - 1 + 0.4 * cov;
      const int cases = 1 + static_cast<int>(rng() % 6);
      double y = 0;
      if (model == Model::normal) {
        y = eta + std::normal_distribution<double>(0, 0.5)(rng);
      } else {
        const double mean = model == Model::binomial ? 1 / (1 + std::exp(-eta)) : std::exp(eta);
        const int successes = model == Model::binomial ? std::binomial_distribution<int>(cases, mean)(rng)
                                                       : std::poisson_distribution<int>(cases * mean)(rng);
        y = static_cast<double>(successes) / cases;
      }
      c.points.x.push_back(x);
      c.points.covariate.push_back(cov);
      c.points.y.push_back(y);
      c.points.counts.push_back(cases);
    }
  }
  c.points.n = static_cast<int>(c.points.x.size());
  if (kind != Kind::none)
    c.covariate = Covariate{build_design(c.points, kind == Kind::categorical),
                            compressx(c.points.x, c.points.counts, c.points.n)};
  return c;
}

// The penalized likelihood problem with full matrices in extended precision: unknowns theta = (s at the
// distinct X, beta of the design columns after the intercept), eta = Z theta, penalty lambda t s'Ks.
struct DenseProblem {
  Matrix z;        // n x unknowns
  Matrix penalty;  // unknowns x unknowns
  std::size_t knots = 0, unknowns = 0;

  DenseProblem(const Case& c, double lambda) {
    const Points& p = c.points;
    const std::vector<double> x = c.covariate ? c.covariate->groups.x : p.x;
    knots = x.size();
    const std::size_t q = c.covariate ? static_cast<std::size_t>(c.covariate->design.columns - 1) : 0;
    unknowns = knots + q;
    z = test::zeros(static_cast<std::size_t>(p.n), unknowns);
    for (int i = 0; i < p.n; ++i) {
      const auto knot = static_cast<std::size_t>(std::find(x.begin(), x.end(), p.x[i]) - x.begin());
      z[i][knot] = 1;
      for (std::size_t j = 0; j < q; ++j) z[i][knots + j] = c.covariate->design.xcov[i + (j + 1) * p.n];
    }
    penalty = test::zeros(unknowns, unknowns);
    const Matrix k = test::roughness_matrix(x);
    const Real scale = static_cast<Real>(lambda) * test::penalty_scale_of(x);
    for (std::size_t a = 0; a < knots; ++a)
      for (std::size_t b = 0; b < knots; ++b) penalty[a][b] = scale * k[a][b];
  }

  static Real mean_at(Real eta, Model model) {
    if (model == Model::binomial) return 1 / (1 + std::exp(-eta));
    return model == Model::poisson ? std::exp(eta) : eta;
  }

  std::vector<Real> eta_of(const std::vector<Real>& theta) const {
    std::vector<Real> eta(z.size(), 0);
    for (std::size_t i = 0; i < z.size(); ++i)
      for (std::size_t a = 0; a < unknowns; ++a) eta[i] += z[i][a] * theta[a];
    return eta;
  }

  // The score Z'(N (y - mu)) - P theta, and the scale it is measured against, |Z'(N y)|.
  std::vector<Real> gradient(const Case& c, const std::vector<Real>& theta, Real& scale) const {
    const std::vector<Real> eta = eta_of(theta);
    std::vector<Real> g(unknowns, 0), data(unknowns, 0);
    for (std::size_t i = 0; i < eta.size(); ++i) {
      const Real cases = c.points.counts[i], y = c.points.y[i];
      for (std::size_t a = 0; a < unknowns; ++a) {
        g[a] += z[i][a] * cases * (y - mean_at(eta[i], c.model));
        data[a] += z[i][a] * cases * y;
      }
    }
    for (std::size_t a = 0; a < unknowns; ++a)
      for (std::size_t b = 0; b < unknowns; ++b) g[a] -= penalty[a][b] * theta[b];
    scale = 0;
    for (Real d : data) scale += d * d;
    scale = std::sqrt(scale);
    return g;
  }

  // H = Z' diag(N w) Z + P, and Z' diag(N w) Z, at eta.
  Matrix information(const Case& c, const std::vector<Real>& eta, Matrix& weighted) const {
    weighted = test::zeros(unknowns, unknowns);
    for (std::size_t i = 0; i < eta.size(); ++i) {
      const Real mu = mean_at(eta[i], c.model);
      const Real w = c.points.counts[i] * (c.model == Model::binomial  ? mu * (1 - mu)
                                           : c.model == Model::poisson ? mu
                                                                       : 1);
      for (std::size_t a = 0; a < unknowns; ++a)
        for (std::size_t b = 0; b < unknowns; ++b) weighted[a][b] += z[i][a] * w * z[i][b];
    }
    Matrix h = weighted;
    for (std::size_t a = 0; a < unknowns; ++a)
      for (std::size_t b = 0; b < unknowns; ++b) h[a][b] += penalty[a][b];
    return h;
  }
};

struct Reference {
  std::vector<Real> theta, mean;
  Real edf = 0;
};

// Plain Newton on the dense problem from theta = 0, to the precision of long double (relative); the trace of
// H^-1 Z'WZ at the final weights.
Reference dense_fit(const Case& c, const DenseProblem& problem) {
  Reference r;
  r.theta.assign(problem.unknowns, 0);
  Matrix weighted;
  for (int step = 0; step < 200; ++step) {
    Real scale = 0;
    const std::vector<Real> g = problem.gradient(c, r.theta, scale);
    Matrix delta = test::zeros(problem.unknowns, 1);
    for (std::size_t a = 0; a < problem.unknowns; ++a) delta[a][0] = g[a];
    test::solve(problem.information(c, problem.eta_of(r.theta), weighted), delta);
    Real largest = 0, size = 1;
    for (std::size_t a = 0; a < problem.unknowns; ++a) {
      r.theta[a] += delta[a][0];
      largest = std::max(largest, std::fabs(delta[a][0]));
      size = std::max(size, std::fabs(r.theta[a]));
    }
    if (largest < 1e-16L * size) break;
  }
  const std::vector<Real> eta = problem.eta_of(r.theta);
  for (Real e : eta) r.mean.push_back(DenseProblem::mean_at(e, c.model));
  Matrix h = problem.information(c, eta, weighted);
  test::solve(h, weighted);
  for (std::size_t a = 0; a < problem.unknowns; ++a) r.edf += weighted[a][a];
  return r;
}

// theta of a converged fit: s from eta at the first point of each distinct X, less the covariate effect.
std::vector<Real> theta_of(const Case& c, const DenseProblem& problem, const ConvergedFit& fit) {
  std::vector<Real> theta(problem.unknowns, 0);
  for (std::size_t j = problem.knots; j < problem.unknowns; ++j) theta[j] = fit.beta[j - problem.knots + 1];
  std::vector<bool> seen(problem.knots, false);
  for (int i = 0; i < c.points.n; ++i) {
    const auto knot = static_cast<std::size_t>(
        std::find(problem.z[i].begin(), problem.z[i].begin() + problem.knots, 1.0L) - problem.z[i].begin());
    if (seen[knot]) continue;
    seen[knot] = true;
    theta[knot] = fit.eta[i];
    for (std::size_t j = problem.knots; j < problem.unknowns; ++j) theta[knot] -= problem.z[i][j] * theta[j];
  }
  return theta;
}

// Fitted means, coefficients and edf meet the dense penalized fit; the score equations hold.
TEST(converged_test, meets_the_dense_penalized_fit) {
  for (Model model : {Model::normal, Model::binomial, Model::poisson}) {
    for (Kind kind : {Kind::none, Kind::continuous, Kind::categorical}) {
      const Case c = make_case(model, kind);
      ConvergedFitter converged(c.points, c.with(), model);
      for (double lambda : {0.003, 0.3, 30.0}) {
        const ConvergedFit& fit = converged.fit(lambda, c.points.y);
        const std::string where =
            std::string(model_name(model)) + ", " + name_of(kind) + ", lambda " + std::to_string(lambda);
        ASSERT_TRUE(fit.ok) << where;
        const DenseProblem problem(c, lambda);
        const Reference reference = dense_fit(c, problem);
        for (int i = 0; i < c.points.n; ++i) {
          const auto expected = static_cast<double>(reference.mean[i]);
          EXPECT_NEAR(fit.mean[i], expected, 1e-8 * std::max(1.0, std::abs(expected))) << where << " " << i;
        }
        for (std::size_t j = problem.knots; j < problem.unknowns; ++j)
          EXPECT_NEAR(fit.beta[j - problem.knots + 1], static_cast<double>(reference.theta[j]), 1e-8)
              << where;
        EXPECT_NEAR(fit.edf, static_cast<double>(reference.edf), 1e-8) << where;
        Real scale = 0;
        const std::vector<Real> g = problem.gradient(c, theta_of(c, problem, fit), scale);
        Real norm = 0;
        for (Real v : g) norm += v * v;
        EXPECT_LT(static_cast<double>(std::sqrt(norm) / scale), 1e-8) << where;
      }
    }
  }
}

// ln|A| of a symmetric positive-definite matrix by Cholesky, in extended precision.
Real log_determinant(Matrix a) {
  Real sum = 0;
  for (std::size_t j = 0; j < a.size(); ++j) {
    for (std::size_t k = 0; k < j; ++k)
      for (std::size_t i = j; i < a.size(); ++i) a[i][j] -= a[i][k] * a[j][k];
    const Real pivot = std::sqrt(a[j][j]);
    sum += 2 * std::log(pivot);
    for (std::size_t i = j; i < a.size(); ++i) a[i][j] /= pivot;
  }
  return sum;
}

// The REML and ML scores from their definitions with full matrices: the penalty's pseudo-determinant
// as |P + U0 U0'| (U0 an orthonormal basis of the lines [1, x] on the distinct X), and H_r, the
// information on the complement of the lines where each value counts its cases D, in a basis orthonormal
// so: |Pi H~ Pi + V0 V0'| with H~ = D^-1/2 H D^-1/2, V0 an orthonormal basis of D^1/2 [1, x] and Pi the
// projection off it.
struct Scores {
  Real reml = 0, ml = 0;
};
// An orthonormal basis of the columns 1 and x - mean, each row g scaled by root[g].
Matrix lines_basis(const std::vector<double>& x, const std::vector<Real>& root) {
  const std::size_t k = x.size();
  Matrix u = test::zeros(k, 2);
  Real length = 0, mean = 0;
  for (std::size_t g = 0; g < k; ++g) length += root[g] * root[g], mean += root[g] * root[g] * x[g];
  mean /= length;
  Real spread = 0;
  for (std::size_t g = 0; g < k; ++g) spread += root[g] * root[g] * (x[g] - mean) * (x[g] - mean);
  for (std::size_t g = 0; g < k; ++g) {
    u[g][0] = root[g] / std::sqrt(length);
    u[g][1] = root[g] * (x[g] - mean) / std::sqrt(spread);
  }
  return u;
}
Scores dense_scores(const Case& c, const DenseProblem& problem, const Reference& reference) {
  const std::size_t k = problem.knots;
  const std::vector<double> x = c.covariate ? c.covariate->groups.x : c.points.x;
  std::vector<Real> ones(k, 1), root(k, 0);
  for (int i = 0; i < c.points.n; ++i)
    root[static_cast<std::size_t>(std::find(x.begin(), x.end(), c.points.x[i]) - x.begin())] +=
        c.points.counts[i];
  for (Real& r : root) r = std::sqrt(r);
  const Matrix u0 = lines_basis(x, ones), v0 = lines_basis(x, root);
  Matrix weighted;
  const std::vector<Real> eta = problem.eta_of(reference.theta);
  const Matrix h = problem.information(c, eta, weighted);
  Matrix pseudo = test::zeros(k, k), range = test::zeros(k, k), projection = test::zeros(k, k);
  for (std::size_t a = 0; a < k; ++a)
    for (std::size_t b = 0; b < k; ++b) {
      pseudo[a][b] = problem.penalty[a][b] + u0[a][0] * u0[b][0] + u0[a][1] * u0[b][1];
      projection[a][b] = (a == b ? 1 : 0) - (v0[a][0] * v0[b][0] + v0[a][1] * v0[b][1]);
    }
  for (std::size_t a = 0; a < k; ++a)
    for (std::size_t b = 0; b < k; ++b) {
      Real sum = 0;
      for (std::size_t i = 0; i < k; ++i)
        for (std::size_t j = 0; j < k; ++j)
          sum += projection[a][i] * h[i][j] / (root[i] * root[j]) * projection[j][b];
      range[a][b] = sum + (v0[a][0] * v0[b][0] + v0[a][1] * v0[b][1]);
    }
  Real penalty = 0, minus_loglik = 0, squares = 0, cases = 0;
  for (std::size_t a = 0; a < k; ++a)
    for (std::size_t b = 0; b < k; ++b)
      penalty += reference.theta[a] * problem.penalty[a][b] * reference.theta[b];
  for (int i = 0; i < c.points.n; ++i) {
    const Real n = c.points.counts[i], y = c.points.y[i], e = eta[static_cast<std::size_t>(i)];
    const Real cumulant = c.model == Model::binomial ? std::log1p(std::exp(e)) : std::exp(e);
    minus_loglik += n * (cumulant - y * e);
    squares += n * (y - e) * (y - e);
    cases += n;
  }
  const Real log_pseudo = log_determinant(pseudo), two_pi = 2 * std::acos(Real(-1));
  const Real full = log_determinant(h) - log_pseudo, on_range = log_determinant(range) - log_pseudo;
  const Real unpenalized = static_cast<Real>(problem.unknowns - k + 2);
  if (c.model != Model::normal)
    return {minus_loglik + penalty / 2 + full / 2 - unpenalized / 2 * std::log(two_pi),
            minus_loglik + penalty / 2 + on_range / 2};
  const Real dp = squares + c.points.spread + penalty;
  auto profiled = [&](Real m) { return m / 2 * (1 + std::log(two_pi * dp / m)); };
  return {profiled(cases - unpenalized) + full / 2, profiled(cases) + on_range / 2};
}

// REML and ML meet their dense definitions, and so do their differences between two lambdas.
TEST(converged_test, likelihood_scores_meet_their_dense_definitions) {
  for (Model model : {Model::normal, Model::binomial, Model::poisson}) {
    for (Kind kind : {Kind::none, Kind::continuous, Kind::categorical}) {
      Case c = make_case(model, kind);
      c.points.spread = 7.25;  // cases pooled into the points (the normal model's scale counts them)
      ConvergedFitter converged(c.points, c.with(), model);
      double reml[2], ml[2];
      Real dense_reml[2], dense_ml[2];
      const double lambdas[2] = {0.003, 30.0};
      for (int l = 0; l < 2; ++l) {
        const ConvergedFit& fit = converged.fit(lambdas[l], c.points.y);
        ASSERT_TRUE(fit.ok);
        const DenseProblem problem(c, lambdas[l]);
        const Scores dense = dense_scores(c, problem, dense_fit(c, problem));
        reml[l] = fit.reml, ml[l] = fit.ml, dense_reml[l] = dense.reml, dense_ml[l] = dense.ml;
      }
      const std::string where = std::string(model_name(model)) + ", " + name_of(kind);
      for (int l = 0; l < 2; ++l) {
        EXPECT_NEAR(reml[l], static_cast<double>(dense_reml[l]), 1e-9 * std::abs(reml[l]))
            << where << " " << l;
        EXPECT_NEAR(ml[l], static_cast<double>(dense_ml[l]), 1e-9 * std::abs(ml[l])) << where << " " << l;
      }
      // differences to 1e-9 of themselves, or of 1 where they are small: the fits that the scores
      // stand on are converged to 1e-9
      const double reml_step = reml[1] - reml[0], ml_step = ml[1] - ml[0];
      const auto dense_reml_step = static_cast<double>(dense_reml[1] - dense_reml[0]);
      const auto dense_ml_step = static_cast<double>(dense_ml[1] - dense_ml[0]);
      EXPECT_NEAR(reml_step, dense_reml_step, 1e-9 * std::max(1.0, std::abs(dense_reml_step))) << where;
      EXPECT_NEAR(ml_step, dense_ml_step, 1e-9 * std::max(1.0, std::abs(dense_ml_step))) << where;
    }
  }
}

// At a small lambda, where the fitted probabilities come near 0, the fit from the constant meets the
// dense one, and so do a fit started from one at another lambda and a refit from the fitter's last.
TEST(converged_test, reaches_the_dense_fit_from_any_start) {
  const Case c = make_case(Model::binomial, Kind::none);
  const double lambda = 1e-4;
  ConvergedFitter converged(c.points, nullptr, Model::binomial);
  const std::vector<double> mean = converged.fit(lambda, c.points.y).mean;
  const Reference reference = dense_fit(c, DenseProblem(c, lambda));
  for (int i = 0; i < c.points.n; ++i)
    EXPECT_NEAR(mean[i], static_cast<double>(reference.mean[i]), 1e-8) << i;
  const ConvergedFit far = converged.fit(3.0, c.points.y);
  ASSERT_TRUE(far.ok);
  const ConvergedFit& from_far = converged.fit(lambda, c.points.y, far);
  EXPECT_TRUE(from_far.ok);
  for (int i = 0; i < c.points.n; ++i) EXPECT_NEAR(from_far.mean[i], mean[i], 1e-9) << i;
  converged.fit(3.0, c.points.y);
  const ConvergedFit& again = converged.refit(lambda, c.points.y);
  EXPECT_TRUE(again.ok);
  for (int i = 0; i < c.points.n; ++i) EXPECT_NEAR(again.mean[i], mean[i], 1e-9) << i;
}

// Survival 0/1 of 2000 cases, each at its own X, 1e-3 apart, with a categorical covariate of 20 levels:
// the knots are too close for smths at large lambda. From the constant fit and from the fit at a
// lambda e^4 times larger, Newton reaches the same maximum in a few steps.
TEST(converged_test, reaches_the_same_maximum_from_either_start) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(0, 1);
  Points points;
  for (int i = 0; i < 2000; ++i) {
    const double x = 2 * (i + unit(rng)) / 2000, level = 1 + i % 20;
    const double eta = 1.5 - 3 * (x - 1) * (x - 1) + 0.05 * level;
    points.x.push_back(x);
    points.covariate.push_back(level);
    points.y.push_back(unit(rng) < 1 / (1 + std::exp(-eta)) ? 1 : 0);
    points.counts.push_back(1);
  }
  points.n = 2000;
  const Covariate covariate{build_design(points, true), compressx(points.x, points.counts, points.n)};
  ConvergedFitter converged(points, &covariate, Model::binomial);
  for (double lnlambda : {-6.0, 0.0, 6.0, 10.0}) {
    const double lambda = std::exp(lnlambda);
    const ConvergedFit nearby = converged.fit(lambda * std::exp(4.0), points.y);
    const ConvergedFit from_nearby = converged.fit(lambda, points.y, nearby);
    const ConvergedFit& from_constant = converged.fit(lambda, points.y);
    for (const ConvergedFit* fit : {&from_nearby, &from_constant}) {
      EXPECT_TRUE(fit->ok) << lnlambda;
      EXPECT_LE(fit->iterations, 20) << lnlambda;
    }
    for (int i = 0; i < points.n; ++i)
      EXPECT_NEAR(from_constant.eta[i], from_nearby.eta[i],
                  1e-9 * std::max(1.0, std::abs(from_nearby.eta[i])))
          << lnlambda << " " << i;
    EXPECT_NEAR(from_constant.edf, from_nearby.edf, 1e-8) << lnlambda;
  }
}

// A pair of X 1e-8 to 1e-12 apart (the first two, or two inside) against the same cases with the pair
// tied: at the same penalty lambda t the fits agree, and REML and ML differ by what does not depend on
// lambda, in all three models, so both choose the same lambda (the penalty of the fitted curvatures,
// differences over the pair's spacing, moved REML's choice from 20 to 91 parameters at 1e-12).
TEST(converged_test, likelihood_scores_do_not_see_how_close_two_x_lie) {
  for (Model model : {Model::normal, Model::binomial, Model::poisson}) {
    const Case c = make_case(model, Kind::none);
    for (int pair : {0, 12}) {
      for (double gap : {1e-8, 1e-10, 1e-12}) {
        Case close = c, tied = c;
        close.points.x[pair + 1] = close.points.x[pair] + gap;
        // tied: the two points pooled, N-weighted, their spread kept
        const auto k = static_cast<std::size_t>(pair);
        const double n0 = c.points.counts[k], n1 = c.points.counts[k + 1], y0 = c.points.y[k],
                     y1 = c.points.y[k + 1];
        const double mean = (n0 * y0 + n1 * y1) / (n0 + n1);
        tied.points.y[k] = mean;
        tied.points.counts[k] += c.points.counts[k + 1];
        tied.points.spread += n0 * (y0 - mean) * (y0 - mean) + n1 * (y1 - mean) * (y1 - mean);
        for (auto* v : {&tied.points.x, &tied.points.y}) v->erase(v->begin() + pair + 1);
        tied.points.counts.erase(tied.points.counts.begin() + pair + 1);
        tied.points.n -= 1;
        ConvergedFitter near(close.points, nullptr, model), exact(tied.points, nullptr, model);
        const double ratio = penalty_scale(close.points.x) / penalty_scale(tied.points.x);
        double reml[2], ml[2];
        for (int l = 0; l < 2; ++l) {
          const double lambda = l == 0 ? 0.01 : 30.0;
          const ConvergedFit a = near.fit(lambda, close.points.y);
          const ConvergedFit& b = exact.fit(lambda * ratio, tied.points.y);
          const std::string where = std::string(model_name(model)) + ", pair " + std::to_string(pair) +
                                    ", gap " + std::to_string(gap) + ", lambda " + std::to_string(lambda);
          ASSERT_TRUE(a.ok && b.ok) << where;
          EXPECT_NEAR(a.edf, b.edf, 1e-7) << where;
          EXPECT_NEAR(a.mean[k + 2], b.mean[k + 1], 1e-7) << where;
          reml[l] = a.reml - b.reml;
          ml[l] = a.ml - b.ml;
        }
        EXPECT_NEAR(reml[0], reml[1], 1e-6) << model_name(model) << " pair " << pair << " gap " << gap;
        EXPECT_NEAR(ml[0], ml[1], 1e-6) << model_name(model) << " pair " << pair << " gap " << gap;
      }
    }
  }
}

// 0/1 cases "y x" of a file in tests/fit/data, those with equal X pooled into points.
Case read_cases(const std::string& name) {
  std::ifstream in(std::string(std::getenv("TROV_SOURCE_DIR")) + "/tests/fit/data/" + name);
  std::map<double, std::pair<double, int>> pooled;
  for (double y = 0, x = 0; in >> y >> x;) {
    pooled[x].first += y;
    ++pooled[x].second;
  }
  Case c;
  c.model = Model::binomial;
  for (const auto& [x, cases] : pooled) {
    c.points.x.push_back(x);
    c.points.y.push_back(cases.first / cases.second);
    c.points.counts.push_back(cases.second);
  }
  c.points.n = static_cast<int>(c.points.x.size());
  return c;
}

// Small lambdas on 0/1 data bend the fit to linear predictors of 40 to 300, far beyond where a fitted
// probability is within 1e-10 of 0 or 1, yet a maximum exists: Newton reaches it (Pima glucose and
// diabetes, MASS::Pima.tr; low birth weight on the mother's weight, MASS::birthwt).
TEST(converged_test, reaches_maxima_far_out) {
  for (const auto& [name, lnlambdas] : {std::pair{"pima_glucose.dat", std::vector{-10.0, -8.0}},
                                        std::pair{"birthwt_lwt.dat", std::vector{-10.0, -6.0}}}) {
    const Case c = read_cases(name);
    ConvergedFitter converged(c.points, nullptr, Model::binomial);
    double farthest = 0;
    for (double lnlambda : lnlambdas) {
      const double lambda = std::exp(lnlambda);
      const ConvergedFit& fit = converged.fit(lambda, c.points.y);
      ASSERT_TRUE(fit.ok) << name << " " << lnlambda;
      EXPECT_LE(fit.iterations, 20) << name << " " << lnlambda;
      for (double eta : fit.eta) farthest = std::max(farthest, std::abs(eta));
      const Reference reference = dense_fit(c, DenseProblem(c, lambda));
      for (int i = 0; i < c.points.n; ++i)
        EXPECT_NEAR(fit.mean[i], static_cast<double>(reference.mean[i]), 1e-9)
            << name << " " << lnlambda << " " << i;
      EXPECT_NEAR(fit.edf, static_cast<double>(reference.edf), 1e-7) << name << " " << lnlambda;
    }
    EXPECT_GT(farthest, 100) << name;
  }
}

// Fair coin flips at 200 standard normal X (some 1e-5 apart), where the gradient cannot be evaluated
// as accurately as the state-space solve delivers the steps: the fits converge, and meet Newton's
// method with the smoothings solved in quadruple precision.
TEST(converged_test, converges_where_the_gradient_check_is_rounded) {
  const Case c = read_cases("coin_flips.dat");
  ConvergedFitter converged(c.points, nullptr, Model::binomial);
  const auto n = static_cast<std::size_t>(c.points.n);
  for (double lnlambda : {-1.0, 3.0, 6.0, 8.0, 10.0}) {
    const double lambda = std::exp(lnlambda);
    const ConvergedFit& fit = converged.fit(lambda, c.points.y);
    ASSERT_TRUE(fit.ok) << lnlambda;
    EXPECT_LE(fit.iterations, 10) << lnlambda;
    // Newton's method as iteratively reweighted smoothing: eta = smooth of eta + (y - mu)/w, weights N w
    std::vector<double> eta(n, 0.0), working(n), weight(n);
    for (int step = 0; step < 30; ++step) {
      for (std::size_t i = 0; i < n; ++i) {
        const double mu = 1 / (1 + std::exp(-eta[i]));
        weight[i] = c.points.counts[i] * mu * (1 - mu);
        working[i] = eta[i] + (c.points.y[i] - mu) / (mu * (1 - mu));
      }
      eta = test::quadruple_smoothing(lambda * penalty_scale(c.points.x), c.points.x, working, weight);
    }
    for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR(fit.eta[i], eta[i], 1e-9) << lnlambda << " " << i;
  }
}

// Responses that a straight line separates, or a level of a categorical covariate all 0, have no
// penalized maximum: the fit runs away from the constant fit and stops at
// once, not ok, finite.
TEST(converged_test, separated_responses_end_not_ok) {
  Case line;
  line.model = Model::binomial;
  for (int i = 0; i < 12; ++i) {
    line.points.x.push_back(i);
    line.points.y.push_back(i < 6 ? 0 : 1);
    line.points.counts.push_back(1);
  }
  line.points.n = 12;
  Case level = make_case(Model::binomial, Kind::categorical);
  for (int i = 0; i < level.points.n; ++i)
    if (level.points.covariate[i] == 3) level.points.y[i] = 0;
  for (const Case* c : {&line, &level}) {
    ConvergedFitter converged(c->points, c->with(), Model::binomial);
    const ConvergedFit& fit = converged.fit(1.0, c->points.y);
    EXPECT_FALSE(fit.ok);
    EXPECT_EQ(fit.end, NewtonEnd::ran_away);
    EXPECT_LE(fit.iterations, 2);
    for (int i = 0; i < c->points.n; ++i) EXPECT_TRUE(std::isfinite(fit.eta[i])) << i;
  }
}

}  // namespace
}  // namespace trov
