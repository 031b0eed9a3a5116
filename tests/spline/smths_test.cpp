#include "engine/spline/smths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "tests/spline/dense_reference.h"
#include "tests/spline/stepwise_reference.h"

namespace trov {
namespace {


struct Problem {
  std::vector<double> x, y, dy;
};

// Unevenly spaced knots, a wavy response with noise, standard deviations spread over a decade.
Problem random_problem(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> gap(0.05, 2.0), noise(-0.5, 0.5), sd(0.3, 3.0);
  Problem problem;
  double x = -3;
  for (int i = 0; i < n; ++i) {
    x += gap(rng);
    problem.x.push_back(x);
    problem.y.push_back(std::sin(x) + 0.1 * x + noise(rng));
    problem.dy.push_back(sd(rng));
  }
  return problem;
}

struct SplineResult {
  std::vector<double> fit, lev;
  double trace = 0;
};

SplineResult run_smths(double lambda, const Problem& problem) {
  const int n = static_cast<int>(problem.x.size());
  SplineWork work(n);
  SplineResult result{std::vector<double>(n), std::vector<double>(n), 0};
  result.trace = smths(lambda, problem.x, problem.y, problem.dy, result.fit, result.lev, work);
  return result;
}

double max_abs(const std::vector<double>& v) {
  double m = 0;
  for (double e : v) m = std::max(m, std::fabs(e));
  return m;
}

TEST(smths_test, matches_dense_penalized_least_squares) {
  unsigned seed = 1;
  for (int n : {3, 4, 5, 6, 7, 10, 33, 100, 257}) {
    for (double lambda : {1e-4, 0.01, 1.0, 100.0}) {
      const Problem problem = random_problem(n, seed++);
      const SplineResult result = run_smths(lambda, problem);
      const test::DenseFit reference = test::dense_smoothing_spline(lambda, problem.x, problem.y, problem.dy);
      const double scale = max_abs(problem.y);
      double sum = 0;
      for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(result.fit[i], reference.fit[i], 1e-9 * scale) << "n " << n << " lambda " << lambda << " i " << i;
        EXPECT_NEAR(result.lev[i], reference.lev[i], 1e-9) << "n " << n << " lambda " << lambda << " i " << i;
        EXPECT_GT(result.lev[i], 0);
        EXPECT_LE(result.lev[i], 1 + 1e-12);
        sum += result.lev[i];
      }
      EXPECT_EQ(result.trace, sum);  // summed in knot order
      EXPECT_GE(result.trace, 2 - 1e-9);
      EXPECT_LE(result.trace, n + 1e-9);
    }
  }
}

TEST(smths_test, gives_the_bits_of_the_stepwise_order) {
  unsigned seed = 500;
  for (int n : {3, 4, 5, 6, 7, 8, 9, 64, 1000}) {
    for (double lambda : {1e-3, 0.7, 50.0}) {
      const Problem problem = random_problem(n, seed++);
      const SplineResult result = run_smths(lambda, problem);
      const test::StepwiseFit reference = test::stepwise_smoothing_spline(lambda, problem.x, problem.y, problem.dy);
      EXPECT_EQ(result.fit, reference.fit) << "n " << n << " lambda " << lambda;
      if (n >= 4) {
        EXPECT_EQ(result.lev, reference.lev) << "n " << n << " lambda " << lambda;
        EXPECT_EQ(result.trace, reference.trace) << "n " << n << " lambda " << lambda;
      }
    }
  }
}

TEST(smths_test, large_lambda_gives_weighted_least_squares_line) {
  for (int n : {4, 50}) {
    const Problem problem = random_problem(n, 100 + n);
    const SplineResult result = run_smths(1e12, problem);
    // Weighted least-squares line with weights 1/dy^2.
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int i = 0; i < n; ++i) {
      const double w = 1 / (problem.dy[i] * problem.dy[i]);
      sw += w, sx += w * problem.x[i], sy += w * problem.y[i];
      sxx += w * problem.x[i] * problem.x[i], sxy += w * problem.x[i] * problem.y[i];
    }
    const double slope = (sw * sxy - sx * sy) / (sw * sxx - sx * sx);
    const double intercept = (sy - slope * sx) / sw;
    for (int i = 0; i < n; ++i) EXPECT_NEAR(result.fit[i], intercept + slope * problem.x[i], 1e-6);
    EXPECT_NEAR(result.trace, 2, 1e-6);
  }
}

TEST(smths_test, small_lambda_interpolates) {
  for (int n : {3, 4, 60}) {
    const Problem problem = random_problem(n, 200 + n);
    const SplineResult result = run_smths(1e-16, problem);
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(result.fit[i], problem.y[i], 1e-9);
      EXPECT_NEAR(result.lev[i], 1, 1e-9);
    }
    EXPECT_NEAR(result.trace, n, 1e-8);
  }
}

TEST(smths_test, lambda_zero_returns_data_exactly) {
  const Problem problem = random_problem(20, 7);
  const SplineResult result = run_smths(0, problem);
  EXPECT_EQ(result.fit, problem.y);
  EXPECT_EQ(result.trace, 20);
}

TEST(smths_test, three_knots_smooth_toward_the_line) {
  // A straight line carries no penalty, so three knots on one are fitted exactly at any lambda, while
  // the middle knot is still pulled toward the line of its neighbours: the trace lies between 2 and 3.
  Problem line{{0, 1, 3}, {1, 2, 4}, {1, 1, 1}};
  const SplineResult on_line = run_smths(5, line);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(on_line.fit[i], line.y[i], 1e-12);
  EXPECT_GT(on_line.trace, 2);
  EXPECT_LT(on_line.trace, 3);
}

TEST(smths_test, fewer_than_three_knots_interpolate) {
  for (int n : {1, 2}) {
    const Problem problem = random_problem(n, 300 + n);
    const SplineResult result = run_smths(1, problem);
    EXPECT_EQ(result.fit, problem.y);
    EXPECT_EQ(result.lev, std::vector<double>(n, 1.0));
    EXPECT_EQ(result.trace, n);
  }
}

TEST(smths_test, fit_may_overwrite_y_and_work_is_reused) {
  const Problem big = random_problem(300, 11), small = random_problem(9, 12);
  SplineWork work(300);
  std::vector<double> lev(300), fit(300);
  smths(0.5, big.x, big.y, big.dy, fit, lev, work);  // leaves the work storage dirty
  std::vector<double> in_place = small.y;
  const double trace = smths(0.5, small.x, in_place, small.dy, in_place, std::span(lev).first(9), work);
  const SplineResult fresh = run_smths(0.5, small);
  EXPECT_EQ(in_place, fresh.fit);
  EXPECT_EQ(std::vector<double>(lev.begin(), lev.begin() + 9), fresh.lev);
  EXPECT_EQ(trace, fresh.trace);
}

}  // namespace
}  // namespace trov
