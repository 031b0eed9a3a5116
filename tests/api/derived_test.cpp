// What the packages derive from a fit through the library: predict, the covariate's effect, the mean.
#include "engine/api/derived.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace trov::api {
namespace {

// Survival rising and falling over the trait, each trait value twice (once per covariate value with one).
Fit fit_of(Model model, bool covariate, bool categorical) {
  Data data;
  for (int i = 0; i < 40; ++i) {
    const double x = i / 4.0;
    data.x.push_back(x);
    data.y.push_back(model == Model::normal ? std::sin(x) + 0.1 * (i % 3) : (i * 7 % 10 < 3 + (i % 20) / 4));
    if (covariate) data.covariate.push_back(i % 3);
  }
  Settings settings;
  settings.model = model;
  settings.categorical = categorical;
  settings.lnlambda = 0.0;
  const Outcome outcome = analyse(data, settings);
  if (const Error* e = std::get_if<Error>(&outcome)) ADD_FAILURE() << e->text;
  return *std::get<Results>(outcome).fit;
}

TEST(derived_test, predict_gives_the_fit_at_its_points_and_its_limits_beyond) {
  for (Model model : {Model::binomial, Model::poisson, Model::normal}) {
    const Fit fit = fit_of(model, false, false);
    std::vector<double> x;
    for (const FittedPoint& p : fit.points) x.push_back(p.x);
    const Prediction at_points = predict(fit, model, x);
    for (std::size_t i = 0; i < x.size(); ++i) {
      EXPECT_EQ(at_points.eta[i], fit.points[i].eta);
      EXPECT_EQ(at_points.mean[i], fit.points[i].fitted);  // the converged fit's own inverse link
    }
    const Prediction far = predict(fit, model, std::vector<double>{-INFINITY, INFINITY, NAN});
    for (int end : {0, 1}) EXPECT_EQ(far.mean[end], mean_at(model, far.eta[end]));
    EXPECT_TRUE(std::isnan(far.mean[2]));
  }
  EXPECT_EQ(mean_at(Model::binomial, -INFINITY), 0);
  EXPECT_EQ(mean_at(Model::binomial, INFINITY), 1);
  EXPECT_EQ(mean_at(Model::binomial, -800), 0);  // no overflow on the way
}

TEST(derived_test, predict_adds_the_covariates_effect) {
  for (bool categorical : {false, true}) {
    const Fit fit = fit_of(Model::binomial, true, categorical);
    std::vector<double> x, c;
    for (const FittedPoint& p : fit.points) {
      x.push_back(p.x);
      c.push_back(p.covariate);
    }
    const Prediction own = predict(fit, Model::binomial, x, c);
    for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(own.eta[i], fit.points[i].eta, 1e-12) << i;
    // without covariate values: at the case-weighted mean effect (equal counts here)
    double mean_effect = 0;
    for (double v : c) mean_effect += covariate_effect(fit, v) / static_cast<double>(c.size());
    const Prediction mean = predict(fit, Model::binomial, x);
    const Prediction at_zero = predict(fit, Model::binomial, x, std::vector<double>(x.size(), 0.0));
    EXPECT_NEAR(mean.eta[5] - at_zero.eta[5], mean_effect - covariate_effect(fit, 0), 1e-12);
  }
  const Fit continuous = fit_of(Model::binomial, true, false);
  EXPECT_EQ(covariate_effect(continuous, 2), continuous.coefficients[1] * 2);
  const Fit categorical = fit_of(Model::binomial, true, true);
  EXPECT_EQ(covariate_effect(categorical, 1), categorical.level_effects[1]);
  EXPECT_TRUE(std::isnan(covariate_effect(categorical, 7)));  // no level of the fit
  EXPECT_EQ(covariate_effect(fit_of(Model::binomial, false, false), 2), 0);
  EXPECT_THROW(predict(categorical, Model::binomial, std::vector<double>{1, 2}, std::vector<double>{1}),
               std::invalid_argument);
}

}  // namespace
}  // namespace trov::api
