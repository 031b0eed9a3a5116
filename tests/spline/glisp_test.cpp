#include "engine/spline/glisp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "engine/spline/links.h"
#include "engine/spline/smths.h"

// Counts every allocation of this test program, so that a test can tell that a fit allocates nothing.
namespace {
std::atomic<long> allocations{0};
}  // namespace

// Out of line, so that the compiler does not pair a new expression with the free() inside.
[[gnu::noinline]] void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace trov {
namespace {

struct Points {
  std::vector<double> x, y;
  std::vector<int> counts;
};

const FitResult& run_glisp(const Points& points, double lambda, Model model, int maxit, double stop,
                           GlispWork& work) {
  return glisp(lambda, points.x, points.y, points.counts, {.model = model, .maxit = maxit, .stop = stop},
               work);
}

// Binomial proportions that follow a logistic curve exactly; Poisson means that follow exp exactly.
Points exact_curve(Model model, int n) {
  Points points;
  for (int i = 0; i < n; ++i) {
    const double x = -3 + 6.0 * i / (n - 1) + 0.01 * (i % 3);
    const double nu = model == Model::binomial ? 0.5 + 1.5 * x : 1 + 0.4 * x;
    points.x.push_back(x);
    points.y.push_back(model == Model::binomial ? 1 / (1 + std::exp(-nu)) : std::exp(nu));
    points.counts.push_back(1 + i % 4);
  }
  return points;
}

TEST(glisp_test, normal_model_is_one_weighted_spline_with_its_scores) {
  Points points{{0, 0.5, 1.5, 2, 3.5, 4}, {1.0, 2.5, 1.5, 3.0, 2.0, 4.5}, {1, 4, 2, 1, 9, 3}};
  GlispWork work(6);
  const FitResult& fit = run_glisp(points, 0.3, Model::normal, 10, 0.01, work);
  EXPECT_EQ(fit.status, FitStatus::ok);
  EXPECT_EQ(fit.eta, fit.mean);  // the identity link
  EXPECT_EQ(fit.iterations, 0);

  std::vector<double> dy, sy(6), lev(6);
  for (int r : points.counts) dy.push_back(1 / std::sqrt(static_cast<double>(r)));
  SplineWork spline(6);
  const double trace = smths(0.3, points.x, points.y, dy, sy, lev, spline);
  EXPECT_EQ(fit.mean, sy);
  EXPECT_EQ(fit.trace, trace);
  double g = 0, o = 0;
  for (int i = 0; i < 6; ++i) {
    const double e = points.y[i] - sy[i];
    g += points.counts[i] * e * e;
    o += points.counts[i] * (e / (1 - lev[i])) * (e / (1 - lev[i]));
  }
  EXPECT_DOUBLE_EQ(fit.gcv, 6 * g / ((6 - trace) * (6 - trace)));
  EXPECT_DOUBLE_EQ(fit.ocv, o / 6);
}

TEST(glisp_test, recovers_an_exact_logistic_and_log_linear_curve) {
  // A straight nu carries no roughness penalty, so at any lambda the fit converges to it.
  GlispWork work(40);
  for (Model model : {Model::binomial, Model::poisson}) {
    const Points points = exact_curve(model, 40);
    for (double lambda : {0.01, 10.0}) {
      const FitResult& fit = run_glisp(points, lambda, model, 50, 1e-8, work);
      ASSERT_EQ(fit.status, FitStatus::ok);
      EXPECT_LT(fit.iterations, 50) << model_name(model) << " lambda " << lambda;
      for (int i = 0; i < 40; ++i) {
        const double x = points.x[i];
        EXPECT_NEAR(fit.eta[i], model == Model::binomial ? 0.5 + 1.5 * x : 1 + 0.4 * x, 1e-6);
        EXPECT_NEAR(fit.mean[i], points.y[i], 1e-6);
      }
      EXPECT_NEAR(fit.gcv, 0, 1e-10);
      EXPECT_GT(fit.trace, 2 - 1e-6);
    }
  }
}

TEST(glisp_test, one_iteration_is_one_spline_fit_from_the_constant_start) {
  const Points points = exact_curve(Model::binomial, 12);
  GlispWork work(12);
  const FitResult fit = run_glisp(points, 1.0, Model::binomial, 1, 1e9, work);  // would converge at once
  EXPECT_EQ(fit.iterations, 1);

  // The start by hand: constant fit at the mean of the point means, then one smoothing.
  double ybar = 0;
  for (double y : points.y) ybar += y;
  ybar = ybar / 12;
  double nu0 = ytonu(ybar, Model::binomial);
  const double w0 = phi2(nu0, Model::binomial);
  std::vector<double> z, dy, snu(12), lev(12);
  for (int i = 0; i < 12; ++i) {
    z.push_back(nu0 + (points.y[i] - ybar) / w0);
    dy.push_back(std::sqrt(1 / (points.counts[i] * w0)));
  }
  SplineWork spline(12);
  const double trace = smths(1.0, points.x, z, dy, snu, lev, spline);
  EXPECT_EQ(fit.eta, snu);
  EXPECT_EQ(fit.trace, trace);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(fit.mean[i], nutoy(snu[i], Model::binomial));

  // A count below 1 still fits once: without a fit there would be no nu and no leverages.
  const FitResult& none = run_glisp(points, 1.0, Model::binomial, 0, 1e9, work);
  EXPECT_EQ(none.iterations, 1);
  EXPECT_EQ(none.eta, fit.eta);
  EXPECT_EQ(none.gcv, fit.gcv);
}

TEST(glisp_test, nu_beyond_23_is_a_vanished_weight_and_beyond_16_is_clamped) {
  // One success among n failures: the unlimited starting working response of the success is about
  // n - ln n, and a nearly interpolating spline carries it into nu.
  auto lone_success = [](int n) {
    Points points;
    for (int i = 0; i < n; ++i) {
      points.x.push_back(i);
      points.y.push_back(i == n / 2 ? 1.0 : 0.0);
      points.counts.push_back(1);
    }
    return points;
  };
  GlispWork work(40);
  EXPECT_EQ(run_glisp(lone_success(40), 1e-8, Model::binomial, 5, 0.001, work).status,
            FitStatus::weight_vanished);

  const FitResult& fit = run_glisp(lone_success(22), 1e-8, Model::binomial, 1, 0.001, work);  // nu about 18.9
  EXPECT_EQ(fit.status, FitStatus::ok);
  EXPECT_EQ(fit.eta[11], 16);
  double sixteen = 16;
  EXPECT_EQ(fit.mean[11], nutoy(sixteen, Model::binomial));
}

TEST(glisp_test, equal_fitted_nu_never_converge) {
  // Equal means fit a constant nu: the relative change is 0/0 and every iteration runs.
  Points points{{0, 1, 2, 3, 4}, {0.3, 0.3, 0.3, 0.3, 0.3}, {1, 2, 1, 2, 1}};
  GlispWork work(5);
  const FitResult& fit = run_glisp(points, 1.0, Model::poisson, 4, 1e9, work);
  EXPECT_EQ(fit.status, FitStatus::ok);
  EXPECT_EQ(fit.iterations, 4);
  for (double nu : fit.eta) EXPECT_DOUBLE_EQ(nu, std::log(0.3));
}

TEST(glisp_test, each_call_starts_afresh_and_allocates_nothing) {
  std::mt19937 rng(5);
  std::bernoulli_distribution coin(0.4);
  Points points;
  for (int i = 0; i < 500; ++i) {
    points.x.push_back(i * 0.01 + (i % 7) * 0.001);
    points.y.push_back(coin(rng) ? 1.0 : 0.0);
    points.counts.push_back(1);
  }
  GlispWork work(500);
  const FitResult first = run_glisp(points, 0.05, Model::binomial, 6, 0.001, work);
  run_glisp(points, 50, Model::binomial, 6, 0.001, work);  // another fit leaves other values behind
  const long before = allocations.load();
  const FitResult& second = run_glisp(points, 0.05, Model::binomial, 6, 0.001, work);
  EXPECT_EQ(allocations.load(), before);
  EXPECT_EQ(second.mean, first.mean);
  EXPECT_EQ(second.eta, first.eta);
  EXPECT_EQ(second.gcv, first.gcv);
  EXPECT_EQ(second.ocv, first.ocv);
  EXPECT_EQ(second.iterations, first.iterations);
}

}  // namespace
}  // namespace trov
