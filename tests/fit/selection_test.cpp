#include "engine/fit/selection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/core/grouping.h"
#include "engine/covariate/design.h"
#include "engine/spline/glisp.h"
#include "tests/spline/dense_reference.h"
#include "tests/spline/truncated_power.h"

namespace trov {
namespace {

double inverse_link(double eta, Model model) {
  if (model == Model::binomial) return 1 / (1 + std::exp(-eta));
  return model == Model::poisson ? std::exp(eta) : eta;
}

// A fit by hand: the spline values s at 12 uneven knots and, with a covariate, two points per knot
// whose effects differ (e_i = snu_i - nufit_i).
struct Case {
  Points points;
  XGroups groups;
  FitResult fit;
  std::vector<double> knots, values, effect;
};

Case make_case(Model model, bool covariate) {
  std::mt19937 rng(covariate ? 3 : 4);
  std::uniform_real_distribution<double> gap(0.1, 0.6), wiggle(-0.3, 0.3);
  Case c;
  double x = -1.5;
  for (int k = 0; k < 12; ++k) {
    x += gap(rng);
    c.knots.push_back(x);
    c.values.push_back((model == Model::poisson ? 0.5 : 0.2) + 0.4 * x - 0.6 * x * x + wiggle(rng));
    for (int level = 0; level < (covariate ? 2 : 1); ++level) {
      c.points.x.push_back(x);
      c.points.y.push_back(0);
      c.points.covariate.push_back(level);
      c.points.counts.push_back(1 + static_cast<int>(rng() % 4));
      c.effect.push_back(covariate ? 0.35 * level - 0.1 : 0.0);
      const double eta = c.values.back() + c.effect.back();
      c.fit.eta.push_back(eta);
      c.fit.mean.push_back(inverse_link(eta, model));
      if (covariate) c.fit.spline_eta.push_back(c.values.back());
    }
  }
  c.points.n = static_cast<int>(c.points.x.size());
  c.groups = compressx(c.points.x, c.points.counts, c.points.n);
  return c;
}

// Mean fitness when every individual's trait is shifted by delta.
double mean_fitness(const Case& c, const test::TruncatedPowerSpline& s, Model model, double delta) {
  double total = 0, sum = 0;
  for (int i = 0; i < c.points.n; ++i) {
    total += c.points.counts[i];
    sum += c.points.counts[i] * inverse_link(s.value(c.points.x[i] + delta) + c.effect[i], model);
  }
  return sum / total;
}

// The same fit as a converged fit: its values and K s at the knots (K from its definition, in extended
// precision) and the covariate effects.
ConvergedFit converged_of(const Case& c, bool covariate) {
  ConvergedFit fit;
  fit.spline = c.values;
  const test::Matrix k = test::roughness_matrix(c.knots);
  for (const auto& row : k) {
    test::Real sum = 0;
    for (std::size_t j = 0; j < row.size(); ++j) sum += row[j] * c.values[j];
    fit.jumps.push_back(static_cast<double>(sum));
  }
  if (covariate) fit.effect = c.effect;
  return fit;
}

// Both ways in: the classic fit's linear predictor, and the converged fit's values with their jumps.
TEST(selection_test, gradients_are_the_derivatives_of_mean_fitness_under_a_shift_of_every_trait) {
  for (Model model : {Model::normal, Model::binomial, Model::poisson}) {
    for (bool covariate : {false, true}) {
      for (bool converged : {false, true}) {
        const Case c = make_case(model, covariate);
        const Covariate design{{}, c.groups};  // the gradients read only the grouping
        SelectionWork work(c.points, covariate ? &design : nullptr);
        const SelectionGradients g = converged ? work.gradients(c.points.y, converged_of(c, covariate), model)
                                               : work.gradients(c.points.y, c.fit, model);
        const test::TruncatedPowerSpline s(c.knots, c.values);
        const double h = 1e-4;
        const double w0 = mean_fitness(c, s, model, 0), up = mean_fitness(c, s, model, h);
        const double down = mean_fitness(c, s, model, -h);
        // The second difference errs by a multiple of its step where the third derivative of s jumps
        // at a knot: two steps cancel that term.
        auto second_difference = [&](double step) {
          return (mean_fitness(c, s, model, step) - 2 * w0 + mean_fitness(c, s, model, -step)) /
                 (step * step);
        };
        const double curvature = 2 * second_difference(5e-5) - second_difference(1e-4);
        const std::string where = std::string(model_name(model)) + (covariate ? " with covariate" : "") +
                                  (converged ? ", converged" : ", classic");
        EXPECT_NEAR(g.mean_fitness, w0, 1e-12) << where;
        EXPECT_NEAR(g.beta, (up - down) / (2 * h) / w0, 1e-6) << where;
        EXPECT_NEAR(g.gamma, curvature / w0, 1e-5) << where;

        double total = 0, sum = 0, squares = 0;
        for (int i = 0; i < c.points.n; ++i)
          total += c.points.counts[i], sum += c.points.counts[i] * c.points.x[i];
        for (int i = 0; i < c.points.n; ++i)
          squares += c.points.counts[i] * std::pow(c.points.x[i] - sum / total, 2);
        EXPECT_NEAR(g.trait_mean, sum / total, 1e-12) << where;
        EXPECT_NEAR(g.trait_sd, std::sqrt(squares / (total - 1)), 1e-12) << where;
        EXPECT_DOUBLE_EQ(g.beta_standardized, g.beta * g.trait_sd);
        EXPECT_DOUBLE_EQ(g.gamma_standardized, g.gamma * g.trait_sd * g.trait_sd);
      }
    }
  }
}

// Survival proportional to 2 + 0.5 z - 0.3 z^2 at 400 trait values, fitted at a tiny lambda: the
// gradients of the quadratic, beta = (0.5 - 0.6 mean z) / mean W and gamma = -0.6 / mean W, apart from
// the natural spline's straight ends.
TEST(selection_test, quadratic_fitness_has_its_known_gradients) {
  std::vector<double> x, y;
  std::vector<int> irep;
  for (int i = 0; i < 400; ++i) {
    x.push_back(-2 + 4.0 * i / 399 + 0.3);
    y.push_back(2 + 0.5 * x.back() - 0.3 * x.back() * x.back());
    irep.push_back(1);
  }
  Points points{.x = x, .y = y, .covariate = {}, .counts = irep, .cases = 400, .n = 400};
  GlispWork fit_work(400);
  const FitResult& fit = glisp(1e-9, x, y, irep, {.model = Model::normal}, fit_work);
  SelectionWork work(points, nullptr);
  const SelectionGradients g = work.gradients(y, fit, Model::normal);
  double mean_w = 0;
  for (double v : y) mean_w += v / 400;
  EXPECT_NEAR(g.mean_fitness, mean_w, 1e-6);
  EXPECT_NEAR(g.beta, (0.5 - 0.6 * g.trait_mean) / mean_w, 2e-3);
  EXPECT_NEAR(g.gamma, -0.6 / mean_w, 0.01 * 0.6 / mean_w);
}

// 0/1 survival of 24 points at 12 trait values, two covariate levels (of three) at each, N from 1 to 4.
// The expected regression estimates are R's, once, from lm on the individuals (each point expanded
// into its N cases of 0 or 1): z <- (x - mean(x)) / sd(x); w <- y / mean(y);
// lm(w ~ z + I(z^2 / 2)) on the first point of each trait value, lm(w ~ z + I(z^2 / 2) + factor(level))
// on all.
TEST(selection_test, lande_arnold_estimates_are_the_regression_on_the_individuals) {
  Points all, first;
  for (int k = 0; k < 12; ++k) {
    const double x = 0.5 + 0.3 * k + 0.02 * k * k;
    const int levels[] = {std::min(k % 3, (k + 1) % 3), std::max(k % 3, (k + 1) % 3)};
    for (int j : levels) {
      const int n = 1 + (k + j) % 4, survivors = (3 * k + 5 * j) % (n + 1);
      for (Points* p : {&all, &first}) {
        if (p == &first && j != levels[0]) continue;
        p->x.push_back(x);
        p->y.push_back(static_cast<double>(survivors) / n);
        p->covariate.push_back(j);
        p->counts.push_back(n);
        p->n = p->cases = p->n + 1;
      }
    }
  }
  FitResult no_fit;  // the regression reads only the responses
  no_fit.eta.assign(24, 0.0);
  no_fit.spline_eta.assign(24, 0.0);
  SelectionWork without(first, nullptr);
  SelectionGradients g = without.gradients(first.y, no_fit, Model::binomial);
  EXPECT_NEAR(g.lande_arnold_beta, -0.17042213537676681, 1e-13);
  EXPECT_NEAR(g.lande_arnold_gamma, 0.10935169310041896, 1e-13);

  const Covariate covariate{build_design(all, true), compressx(all.x, all.counts, all.n)};
  SelectionWork with(all, &covariate);
  g = with.gradients(all.y, no_fit, Model::binomial);
  EXPECT_NEAR(g.lande_arnold_beta, -0.24811069609372502, 1e-13);
  EXPECT_NEAR(g.lande_arnold_gamma, 0.22118022534915949, 1e-13);
  EXPECT_TRUE(g.trait_positive);

  // a trait value at 0: no mean-standardized gradients; responses all 0: no relative fitness
  first.x[0] = 0;
  SelectionWork at_zero(first, nullptr);
  g = at_zero.gradients(std::vector<double>(12, 0.0), no_fit, Model::binomial);
  EXPECT_FALSE(g.trait_positive);
  EXPECT_TRUE(std::isnan(g.beta_mean_standardized) && std::isnan(g.gamma_mean_standardized));
  EXPECT_TRUE(std::isnan(g.lande_arnold_beta) && std::isnan(g.lande_arnold_gamma));
}

TEST(selection_test, replicate_summary_counts_the_observed_value_and_takes_type_7_quantiles) {
  std::vector<double> values;
  for (int v = 40; v >= 1; --v) values.push_back(v);
  ReplicateSummary s = summarize_replicates(values);
  EXPECT_DOUBLE_EQ(s.p, 2.0 / 41);   // no replicate on the other side: still not 0
  EXPECT_DOUBLE_EQ(s.lower, 1.975);  // R: quantile(1:40, c(0.025, 0.975)), type 7
  EXPECT_DOUBLE_EQ(s.upper, 39.025);
  EXPECT_NEAR(s.se, std::sqrt(40 * 41 / 12.0), 1e-12);
  // zeros count on both sides
  EXPECT_DOUBLE_EQ(summarize_replicates(std::vector<double>{-1, 0, 1, 2, 3, 4}).p, 2.0 * 3 / 7);
  EXPECT_DOUBLE_EQ(summarize_replicates(std::vector<double>{-1, 0, 0, 1, 2}).p, 1.0);
  s = summarize_replicates(std::vector<double>{1, NAN, 2});
  EXPECT_TRUE(std::isnan(s.se) && std::isnan(s.p) && std::isnan(s.lower) && std::isnan(s.upper));
}

}  // namespace
}  // namespace trov
