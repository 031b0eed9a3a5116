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

constexpr int kCapacity = 10000;
constexpr double kResLim = 5.0, kSdMax = 10.0;

struct Points {
  std::vector<double> x, y;
  std::vector<int> irep;
};

struct Fit {
  std::vector<double> sy, snu;
  double trace = -1, gcv = -1, ocv = -1;
  int niter = -7, ierr = 0;
};

Fit run_glisp(const Points& points, double lambda, int model, int maxit, double stop, GlispWork& work,
              double snu_before = -99) {
  const int n = static_cast<int>(points.x.size());
  Fit fit{std::vector<double>(n, -5), std::vector<double>(n, snu_before)};
  glisp(lambda, n, points.x, points.y, fit.sy, fit.snu, fit.trace, fit.gcv, fit.ocv, maxit, stop, fit.niter, model,
        points.irep, fit.ierr, kResLim, kSdMax, work);
  return fit;
}

// Binomial proportions that follow a logistic curve exactly; Poisson means that follow exp exactly.
Points exact_curve(int model, int n) {
  Points points;
  for (int i = 0; i < n; ++i) {
    const double x = -3 + 6.0 * i / (n - 1) + 0.01 * (i % 3);
    const double nu = model == kBinomial ? 0.5 + 1.5 * x : 1 + 0.4 * x;
    points.x.push_back(x);
    points.y.push_back(model == kBinomial ? 1 / (1 + std::exp(-nu)) : std::exp(nu));
    points.irep.push_back(1 + i % 4);
  }
  return points;
}

TEST(glisp_test, normal_model_is_one_weighted_spline_with_its_scores) {
  Points points{{0, 0.5, 1.5, 2, 3.5, 4}, {1.0, 2.5, 1.5, 3.0, 2.0, 4.5}, {1, 4, 2, 1, 9, 3}};
  GlispWork work(kCapacity);
  const Fit fit = run_glisp(points, 0.3, kNormal, 10, 0.01, work);
  // snu and niter belong to models 2 and 3: left as they were
  EXPECT_EQ(fit.snu, std::vector<double>(6, -99));
  EXPECT_EQ(fit.niter, -7);
  EXPECT_EQ(fit.ierr, 0);

  std::vector<double> dy, sy(6), lev(6);
  for (int r : points.irep) dy.push_back(1 / std::sqrt(static_cast<double>(r)));
  SplineWork spline(kCapacity);
  double trace = 0;
  smths(0.3, 6, points.x, points.y, dy, sy, trace, lev, spline);
  EXPECT_EQ(fit.sy, sy);
  EXPECT_EQ(fit.trace, trace);
  double g = 0, o = 0;
  for (int i = 0; i < 6; ++i) {
    const double e = points.y[i] - sy[i];
    g += points.irep[i] * e * e;
    o += points.irep[i] * (e / (1 - lev[i])) * (e / (1 - lev[i]));
  }
  EXPECT_DOUBLE_EQ(fit.gcv, 6 * g / ((6 - trace) * (6 - trace)));
  EXPECT_DOUBLE_EQ(fit.ocv, o / 6);
}

TEST(glisp_test, recovers_an_exact_logistic_and_log_linear_curve) {
  // A straight nu carries no roughness penalty, so at any lambda the fit converges to it.
  GlispWork work(kCapacity);
  for (int model : {kBinomial, kPoisson}) {
    const Points points = exact_curve(model, 40);
    for (double lambda : {0.01, 10.0}) {
      const Fit fit = run_glisp(points, lambda, model, 50, 1e-8, work);
      ASSERT_EQ(fit.ierr, 0);
      EXPECT_LT(fit.niter, 50) << "model " << model << " lambda " << lambda;
      for (int i = 0; i < 40; ++i) {
        const double x = points.x[i];
        EXPECT_NEAR(fit.snu[i], model == kBinomial ? 0.5 + 1.5 * x : 1 + 0.4 * x, 1e-6);
        EXPECT_NEAR(fit.sy[i], points.y[i], 1e-6);
      }
      EXPECT_NEAR(fit.gcv, 0, 1e-10);
      EXPECT_GT(fit.trace, 2 - 1e-6);
    }
  }
}

TEST(glisp_test, one_iteration_is_one_spline_fit_from_the_constant_start) {
  const Points points = exact_curve(kBinomial, 12);
  GlispWork work(kCapacity);
  const Fit fit = run_glisp(points, 1.0, kBinomial, 1, 1e9, work);  // would converge at once
  EXPECT_EQ(fit.niter, 1);

  // The start by hand: constant fit at the mean of the point means, then one smoothing.
  double ybar = 0;
  for (double y : points.y) ybar += y;
  ybar = ybar / 12;
  double nu0 = ytonu(ybar, kBinomial);
  const double w0 = phi2(nu0, kBinomial);
  std::vector<double> z, dy, snu(12), lev(12);
  for (int i = 0; i < 12; ++i) {
    z.push_back(nu0 + (points.y[i] - ybar) / w0);
    dy.push_back(std::sqrt(1 / (points.irep[i] * w0)));
  }
  SplineWork spline(kCapacity);
  double trace = 0;
  smths(1.0, 12, points.x, z, dy, snu, trace, lev, spline);
  EXPECT_EQ(fit.snu, snu);
  EXPECT_EQ(fit.trace, trace);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(fit.sy[i], nutoy(snu[i], kBinomial));

  // A count below 1 still fits once: without a fit there would be no nu and no leverages.
  const Fit none = run_glisp(points, 1.0, kBinomial, 0, 1e9, work);
  EXPECT_EQ(none.niter, 1);
  EXPECT_EQ(none.snu, fit.snu);
  EXPECT_EQ(none.gcv, fit.gcv);
}

TEST(glisp_test, nu_beyond_23_sets_the_flag_and_beyond_16_is_clamped) {
  // One success among n failures: the unlimited starting working response of the success is about
  // n - ln n, and a nearly interpolating spline carries it into nu.
  auto lone_success = [](int n) {
    Points points;
    for (int i = 0; i < n; ++i) {
      points.x.push_back(i);
      points.y.push_back(i == n / 2 ? 1.0 : 0.0);
      points.irep.push_back(1);
    }
    return points;
  };
  GlispWork work(kCapacity);
  Fit fit = run_glisp(lone_success(40), 1e-8, kBinomial, 5, 0.001, work);
  EXPECT_EQ(fit.ierr, 1);
  EXPECT_EQ(fit.niter, 5);  // set before the iterations; the failed fit is not finished
  EXPECT_EQ(fit.sy, std::vector<double>(40, -5));

  fit = run_glisp(lone_success(22), 1e-8, kBinomial, 1, 0.001, work);  // nu about 18.9 at the success
  EXPECT_EQ(fit.ierr, 0);
  EXPECT_EQ(fit.snu[11], 16);
  double sixteen = 16;
  EXPECT_EQ(fit.sy[11], nutoy(sixteen, kBinomial));

  // The flag is never cleared by a later good fit.
  int ierr = 1;
  Points good = exact_curve(kBinomial, 10);
  std::vector<double> sy(10), snu(10);
  double trace, gcv, ocv;
  int niter;
  glisp(1.0, 10, good.x, good.y, sy, snu, trace, gcv, ocv, 5, 0.01, niter, kBinomial, good.irep, ierr, kResLim,
        kSdMax, work);
  EXPECT_EQ(ierr, 1);
}

TEST(glisp_test, equal_fitted_nu_never_converge) {
  // Equal means fit a constant nu: the relative change is 0/0 and every iteration runs.
  Points points{{0, 1, 2, 3, 4}, {0.3, 0.3, 0.3, 0.3, 0.3}, {1, 2, 1, 2, 1}};
  GlispWork work(kCapacity);
  const Fit fit = run_glisp(points, 1.0, kPoisson, 4, 1e9, work);
  EXPECT_EQ(fit.ierr, 0);
  EXPECT_EQ(fit.niter, 4);
  for (double nu : fit.snu) EXPECT_DOUBLE_EQ(nu, std::log(0.3));
}

TEST(glisp_test, each_call_starts_afresh_and_allocates_nothing) {
  std::mt19937 rng(5);
  std::bernoulli_distribution coin(0.4);
  Points points;
  for (int i = 0; i < 500; ++i) {
    points.x.push_back(i * 0.01 + (i % 7) * 0.001);
    points.y.push_back(coin(rng) ? 1.0 : 0.0);
    points.irep.push_back(1);
  }
  GlispWork work(kCapacity);
  const Fit first = run_glisp(points, 0.05, kBinomial, 6, 0.001, work);
  Fit second{std::vector<double>(500), std::vector<double>(500, 3.0)};  // stale snu must not matter
  const long before = allocations.load();
  glisp(0.05, 500, points.x, points.y, second.sy, second.snu, second.trace, second.gcv, second.ocv, 6, 0.001,
        second.niter, kBinomial, points.irep, second.ierr, kResLim, kSdMax, work);
  EXPECT_EQ(allocations.load(), before);
  EXPECT_EQ(second.sy, first.sy);
  EXPECT_EQ(second.snu, first.snu);
  EXPECT_EQ(second.gcv, first.gcv);
  EXPECT_EQ(second.ocv, first.ocv);
  EXPECT_EQ(second.niter, first.niter);
}

}  // namespace
}  // namespace trov
