#include "engine/fit/state_space.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/spline/smths.h"
#include "tests/fit/quadruple_reference.h"
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

// 500 knots 1e-3 apart and spiky responses, where the rounding of smths reaches 5e-10.
TEST(state_space_test, keeps_its_accuracy_at_many_close_knots_and_large_lambda) {
  const Problem p = random_problem(500, 1e-3, true, 7);
  for (double lambda : {1.0, std::exp(10.0)}) {
    const std::vector<double> reference =
        test::quadruple_smoothing(lambda * penalty_scale(p.x), p.x, p.y, p.weight);
    const Fit r = state_space_fit(lambda, p);
    for (std::size_t i = 0; i < p.x.size(); ++i)
      EXPECT_NEAR(r.fit[i], reference[i], 1e-14) << lambda << " " << i;
  }
}

// Two knots 1e-8 to 1e-14 apart, at the start (where the filter begins), inside and at the end: the fit,
// the leverages and the determinant are those of the pair tied (one knot of both weights, at their
// weighted mean response), which quadruple precision gives exactly where the pair is far too close
// for it; the determinant up to the part of the pair's own penalty, which does not depend on lambda.
TEST(state_space_test, nearly_tied_knots_fit_as_tied_ones) {
  const int n = 120;
  const Problem p = random_problem(n, 0.1, false, 5);
  for (int pair : {0, n / 2, n - 2}) {
    for (double gap : {1e-10, 1e-12, 1e-14}) {
      Problem close = p;
      close.x[pair + 1] = close.x[pair] + gap * close.x.back();
      Problem tied = close;
      tied.x.erase(tied.x.begin() + pair + 1);
      const double w = close.weight[pair] + close.weight[pair + 1];
      tied.y[pair] = (close.weight[pair] * close.y[pair] + close.weight[pair + 1] * close.y[pair + 1]) / w;
      tied.y.erase(tied.y.begin() + pair + 1);
      tied.weight[pair] = w;
      tied.weight.erase(tied.weight.begin() + pair + 1);
      double log_det[2];
      for (int l = 0; l < 2; ++l) {
        const double penalty = (l == 0 ? 0.01 : 100.0) * penalty_scale(close.x);
        const std::vector<double> reference = test::quadruple_smoothing(penalty, tied.x, tied.y, tied.weight);
        StateSpaceSpline near(n), exact(n - 1);
        std::vector<double> fit(n), lev(n), tied_lev(n - 1);
        near.set_weights(penalty, close.x, close.weight);
        near.smooth(close.y, fit);
        exact.set_weights(penalty, tied.x, tied.weight);
        const std::string where = "pair " + std::to_string(pair) + " gap " + std::to_string(gap);
        // the pair's second knot moved by the gap: its value by the slope times the gap
        const double moved = 10 * (close.x[pair + 1] - close.x[pair]);
        for (int i = 0; i < n; ++i)
          EXPECT_NEAR(fit[i], reference[i - (i > pair ? 1 : 0)], 1e-10 + moved) << where << " knot " << i;
        EXPECT_NEAR(near.leverages(lev), exact.leverages(tied_lev), 1e-7) << where;
        log_det[l] = near.log_determinant() - exact.log_determinant();
      }
      EXPECT_NEAR(log_det[0], log_det[1], 1e-7) << "pair " << pair << " gap " << gap;
    }
  }
}

// Columns smoothed side by side (four lanes and a remainder) are each, to the bit, their own smooth.
TEST(state_space_test, columns_at_once_equal_each_alone) {
  const int n = 57, columns = 7;
  const Problem p = random_problem(n, 0.3, false, 11);
  StateSpaceSpline alone(n), lanes(n, StateSpaceSpline::kLanes);
  for (StateSpaceSpline* s : {&alone, &lanes}) s->set_weights(3.0, p.x, p.weight);
  std::vector<double> y(n * columns), together(y.size()), single(n);
  for (std::size_t k = 0; k < y.size(); ++k) y[k] = p.y[k % n] * (1 + static_cast<double>(k / n));
  lanes.smooth_columns(y, together, columns);
  for (int c = 0; c < columns; ++c) {
    alone.smooth(std::span(y).subspan(c * n, n), single);
    for (int i = 0; i < n; ++i) EXPECT_EQ(together[c * n + i], single[i]) << "column " << c << " knot " << i;
  }
  // and a response smoothed as the weights are set, leaving the same preparation for later smooths
  StateSpaceSpline riding(n);
  std::vector<double> first(n), later(n);
  riding.set_weights_and_smooth(3.0, p.x, p.weight, p.y, first);
  riding.smooth(std::span(y).subspan(n, n), later);
  alone.smooth(p.y, single);
  EXPECT_EQ(first, single);
  alone.smooth(std::span(y).subspan(n, n), single);
  EXPECT_EQ(later, single);
  std::vector<double> lev_riding(n), lev_alone(n);
  EXPECT_EQ(riding.leverages(lev_riding), alone.leverages(lev_alone));
}

}  // namespace
}  // namespace trov
