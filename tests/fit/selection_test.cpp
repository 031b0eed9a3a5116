#include "engine/fit/selection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/core/grouping.h"
#include "engine/spline/glisp.h"
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
      c.points.irep.push_back(1 + static_cast<int>(rng() % 4));
      c.effect.push_back(covariate ? 0.35 * level - 0.1 : 0.0);
      const double eta = c.values.back() + c.effect.back();
      c.fit.snu.push_back(eta);
      c.fit.sy.push_back(inverse_link(eta, model));
      if (covariate) c.fit.nufit.push_back(c.values.back());
    }
  }
  c.points.n = static_cast<int>(c.points.x.size());
  c.groups = compressx(c.points.x, c.points.irep, c.points.n);
  return c;
}

// Mean fitness when every individual's trait is shifted by delta.
double mean_fitness(const Case& c, const test::TruncatedPowerSpline& s, Model model, double delta) {
  double total = 0, sum = 0;
  for (int i = 0; i < c.points.n; ++i) {
    total += c.points.irep[i];
    sum += c.points.irep[i] * inverse_link(s.value(c.points.x[i] + delta) + c.effect[i], model);
  }
  return sum / total;
}

TEST(selection_test, gradients_are_the_derivatives_of_mean_fitness_under_a_shift_of_every_trait) {
  for (Model model : {Model::normal, Model::binomial, Model::poisson}) {
    for (bool covariate : {false, true}) {
      const Case c = make_case(model, covariate);
      SelectionWork work(c.points, covariate ? &c.groups : nullptr);
      const SelectionGradients g = work.gradients(c.fit, model);
      const test::TruncatedPowerSpline s(c.knots, c.values);
      const double h = 1e-4;
      const double w0 = mean_fitness(c, s, model, 0), up = mean_fitness(c, s, model, h);
      const double down = mean_fitness(c, s, model, -h);
      // The second difference errs by a multiple of its step where the third derivative of s jumps
      // at a knot: two steps cancel that term.
      auto second_difference = [&](double step) {
        return (mean_fitness(c, s, model, step) - 2 * w0 + mean_fitness(c, s, model, -step)) / (step * step);
      };
      const double curvature = 2 * second_difference(5e-5) - second_difference(1e-4);
      const std::string where = std::string(model_name(model)) + (covariate ? " with covariate" : "");
      EXPECT_NEAR(g.mean_fitness, w0, 1e-12) << where;
      EXPECT_NEAR(g.beta, (up - down) / (2 * h) / w0, 1e-6) << where;
      EXPECT_NEAR(g.gamma, curvature / w0, 1e-5) << where;

      double total = 0, sum = 0, squares = 0;
      for (int i = 0; i < c.points.n; ++i) total += c.points.irep[i], sum += c.points.irep[i] * c.points.x[i];
      for (int i = 0; i < c.points.n; ++i)
        squares += c.points.irep[i] * std::pow(c.points.x[i] - sum / total, 2);
      EXPECT_NEAR(g.trait_mean, sum / total, 1e-12) << where;
      EXPECT_NEAR(g.trait_sd, std::sqrt(squares / (total - 1)), 1e-12) << where;
      EXPECT_DOUBLE_EQ(g.beta_standardized, g.beta * g.trait_sd);
      EXPECT_DOUBLE_EQ(g.gamma_standardized, g.gamma * g.trait_sd * g.trait_sd);
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
  Points points{.x = x, .y = y, .covariate = {}, .irep = irep, .nraw = 400, .n = 400};
  GlispWork fit_work(400);
  const FitResult& fit = glisp(1e-9, x, y, irep, {.model = Model::normal}, fit_work);
  SelectionWork work(points, nullptr);
  const SelectionGradients g = work.gradients(fit, Model::normal);
  double mean_w = 0;
  for (double v : y) mean_w += v / 400;
  EXPECT_NEAR(g.mean_fitness, mean_w, 1e-6);
  EXPECT_NEAR(g.beta, (0.5 - 0.6 * g.trait_mean) / mean_w, 2e-3);
  EXPECT_NEAR(g.gamma, -0.6 / mean_w, 0.01 * 0.6 / mean_w);
}

}  // namespace
}  // namespace trov
