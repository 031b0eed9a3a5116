#include "engine/fit/state_space.h"

#include <gtest/gtest.h>
#include <quadmath.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/spline/smths.h"
#include "tests/spline/dense_reference.h"

namespace trov {
namespace {

struct Problem {
  std::vector<double> x, y, weight;
};

// Knots `gap` apart on average with random jitter, a wavy response with noise or spikes, weights over a
// decade.
Problem random_problem(int n, double gap, bool spikes, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  Problem p;
  for (int i = 0; i < n; ++i) {
    p.x.push_back(gap * (i + unit(rng)));
    p.y.push_back(spikes ? (i % 20 == 3 ? 1 : 0) : std::sin(p.x.back() / gap / 10) + unit(rng) - 0.5);
    p.weight.push_back(std::pow(10.0, -unit(rng)));
  }
  return p;
}

struct Fit {
  std::vector<double> fit, lev;
  double trace = 0;
};

Fit state_space_fit(double lambda, const Problem& p) {
  const int n = static_cast<int>(p.x.size());
  StateSpaceSpline spline(n);
  Fit r{std::vector<double>(n), std::vector<double>(n), 0};
  spline.set_weights(lambda * penalty_scale(p.x), p.x, p.weight);
  spline.smooth(p.y, r.fit);
  r.trace = spline.leverages(r.lev);
  return r;
}

TEST(state_space_test, matches_dense_penalized_least_squares) {
  unsigned seed = 1;
  for (int n : {3, 4, 7, 33, 200}) {
    for (double lambda : {1e-4, 1.0, 100.0}) {
      const Problem p = random_problem(n, 0.7, false, seed++);
      std::vector<double> dy;
      for (double w : p.weight) dy.push_back(1 / std::sqrt(w));
      const test::DenseFit reference = test::dense_smoothing_spline(lambda, p.x, p.y, dy);
      const Fit r = state_space_fit(lambda, p);
      double sum = 0;
      for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(r.fit[i], reference.fit[i], 1e-11) << "n " << n << " lambda " << lambda << " i " << i;
        EXPECT_NEAR(r.lev[i], reference.lev[i], 1e-11) << "n " << n << " lambda " << lambda << " i " << i;
        sum += r.lev[i];
      }
      EXPECT_NEAR(r.trace, sum, 1e-12);
    }
  }
  // two knots: the line through them
  const Fit two = state_space_fit(1.0, {{0.0, 1.5}, {2.0, -1.0}, {0.5, 3.0}});
  EXPECT_NEAR(two.fit[0], 2.0, 1e-15);
  EXPECT_NEAR(two.fit[1], -1.0, 1e-15);
  EXPECT_NEAR(two.trace, 2.0, 1e-15);
}

// Reinsch's band equations (R + penalty Q'W^-1 Q) gamma = Q'y, f = y - penalty W^-1 Q gamma, in
// quadruple precision: at many close knots and a large penalty they are too ill-conditioned for
// double precision, or even for a dense solve in extended precision.
std::vector<double> quadruple_reference(double penalty, const Problem& p) {
  using Q = __float128;
  const int n = static_cast<int>(p.x.size()), m = n - 2;
  std::vector<Q> h(n - 1), d0(m), d1(m, 0), d2(m, 0), g(m), l1(m, 0), l2(m, 0), pivot(m);
  for (int i = 0; i + 1 < n; ++i) h[i] = static_cast<Q>(p.x[i + 1]) - p.x[i];
  // column j of Q (knot j + 1) has 1/h_j, -1/h_j - 1/h_{j+1}, 1/h_{j+1} at knots j, j + 1, j + 2
  auto q = [&](int j, int k) -> Q {
    return k == 0 ? 1 / h[j] : k == 1 ? -1 / h[j] - 1 / h[j + 1] : 1 / h[j + 1];
  };
  auto w = [&](int i) -> Q { return p.weight[i]; };
  for (int j = 0; j < m; ++j) {
    d0[j] = (h[j] + h[j + 1]) / 3 + penalty * (q(j, 0) * q(j, 0) / w(j) + q(j, 1) * q(j, 1) / w(j + 1) +
                                               q(j, 2) * q(j, 2) / w(j + 2));
    if (j + 1 < m)
      d1[j] = h[j + 1] / 6 + penalty * (q(j, 1) * q(j + 1, 0) / w(j + 1) + q(j, 2) * q(j + 1, 1) / w(j + 2));
    if (j + 2 < m) d2[j] = penalty * q(j, 2) * q(j + 2, 0) / w(j + 2);
    g[j] =
        (static_cast<Q>(p.y[j + 2]) - p.y[j + 1]) / h[j + 1] - (static_cast<Q>(p.y[j + 1]) - p.y[j]) / h[j];
  }
  for (int j = 0; j < m; ++j) {  // L D L' of the five diagonals, then the two triangular solves
    pivot[j] = d0[j] - (j >= 1 ? l1[j - 1] * l1[j - 1] * pivot[j - 1] : 0) -
               (j >= 2 ? l2[j - 2] * l2[j - 2] * pivot[j - 2] : 0);
    if (j + 1 < m) l1[j] = (d1[j] - (j >= 1 ? l1[j - 1] * pivot[j - 1] * l2[j - 1] : 0)) / pivot[j];
    if (j + 2 < m) l2[j] = d2[j] / pivot[j];
    g[j] -= (j >= 1 ? l1[j - 1] * g[j - 1] : 0) + (j >= 2 ? l2[j - 2] * g[j - 2] : 0);
  }
  for (int j = m - 1; j >= 0; --j)
    g[j] = g[j] / pivot[j] - (j + 1 < m ? l1[j] * g[j + 1] : 0) - (j + 2 < m ? l2[j] * g[j + 2] : 0);
  std::vector<double> fit(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    Q qg = 0;
    for (int j = std::max(0, i - 2); j <= std::min(m - 1, i); ++j) qg += q(j, i - j) * g[j];
    fit[i] = static_cast<double>(p.y[i] - penalty * qg / w(i));
  }
  return fit;
}

// 500 knots 1e-3 apart and spiky responses, where the rounding of smths reaches 5e-10.
TEST(state_space_test, keeps_its_accuracy_at_many_close_knots_and_large_lambda) {
  const Problem p = random_problem(500, 1e-3, true, 7);
  for (double lambda : {1.0, std::exp(10.0)}) {
    const std::vector<double> reference = quadruple_reference(lambda * penalty_scale(p.x), p);
    const Fit r = state_space_fit(lambda, p);
    for (std::size_t i = 0; i < p.x.size(); ++i)
      EXPECT_NEAR(r.fit[i], reference[i], 1e-14) << lambda << " " << i;
  }
}

}  // namespace
}  // namespace trov
