// The additive model of several traits against R's mgcv (tests/additive/mgcv_reference.R made
// traits.csv and the numbers below) and against its own definitions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/additive/design.h"
#include "engine/additive/penalized_fit.h"
#include "engine/api/traits.h"

namespace {

using namespace trov;

// traits.csv: a, b, y (0/1), yn (normal), mgcv's binomial REML fit, mgcv's normal fit at sp 0.5, 20.
struct Table {
  std::vector<double> a, b, y, yn, fit_binomial, fit_normal_fixed;
};

const Table& table() {
  static const Table t = [] {
    Table t;
    std::ifstream in(std::string(std::getenv("TROV_SOURCE_DIR")) + "/tests/additive/traits.csv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::vector<double> v;
      for (std::string f; std::getline(fields, f, ',');) v.push_back(std::stod(f));
      for (auto [column, value] : {std::pair{&t.a, v[0]},
                                   {&t.b, v[1]},
                                   {&t.y, v[2]},
                                   {&t.yn, v[3]},
                                   {&t.fit_binomial, v[4]},
                                   {&t.fit_normal_fixed, v[5]}})
        column->push_back(value);
    }
    return t;
  }();
  return t;
}

api::TraitsData data_of(const std::vector<double>& y) {
  return {.names = {"a", "b"}, .traits = {table().a, table().b}, .y = y, .n = {}, .covariates = {}};
}

api::TraitsResults analysed(const api::TraitsData& data, Model model) {
  Settings settings;
  settings.model = model;
  auto outcome = api::analyse_traits(data, settings);
  if (auto* error = std::get_if<api::Error>(&outcome)) ADD_FAILURE() << error->text;
  return std::get<api::TraitsResults>(outcome);
}

// The fitted mean with every case's traits shifted by (da, db): b0 + f_a(a + da) + f_b(b + db).
std::vector<double> mean_shifted(const api::TraitsResults& r, double da, double db, Model model) {
  std::vector<double> means;
  const std::vector<CubicBasis> bases{CubicBasis(r.smooths[0].knots), CubicBasis(r.smooths[1].knots)};
  const auto k = r.smooths[0].knots.size();
  std::vector<double> v(k), s(k), c(k);
  auto f = [&](int t, double x) {
    bases[t].row(x, v, s, c);
    double sum = 0;
    for (std::size_t j = 0; j < k; ++j) sum += v[j] * r.smooths[t].knot_values[j];
    return sum;
  };
  for (std::size_t i = 0; i < table().a.size(); ++i) {
    const double eta = r.intercept + f(0, table().a[i] + da) + f(1, table().b[i] + db);
    means.push_back(model == Model::binomial ? 1 / (1 + std::exp(-eta)) : eta);
  }
  return means;
}

double average(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return sum / static_cast<double>(v.size());
}

TEST(additive_test, fixed_lambdas_fit_as_mgcv) {
  const Table& t = table();
  const std::vector<double> counts(t.a.size(), 1.0);
  const AdditiveDesign design = additive_design({t.a, t.b}, 20, false, counts, {});
  AdditiveFitter fitter(design, t.yn, counts, Model::normal);
  const AdditiveFit fit = fitter.fit(std::vector<double>{0.5, 20});
  ASSERT_TRUE(fit.ok());
  EXPECT_NEAR(fit.edf[0], 18.3391274, 1e-6);
  EXPECT_NEAR(fit.edf[1], 12.9386299, 1e-6);
  for (std::size_t i = 0; i < t.a.size(); ++i) ASSERT_NEAR(fit.eta[i], t.fit_normal_fixed[i], 1e-9) << i;
}

TEST(additive_test, reml_chooses_as_mgcv) {
  const Table& t = table();
  const api::TraitsResults bin = analysed(data_of(t.y), Model::binomial);
  ASSERT_EQ(bin.smooths.size(), 2u);
  EXPECT_NEAR(bin.smooths[0].edf, 3.695617076, 1e-4 * 3.7);
  EXPECT_NEAR(bin.smooths[1].edf, 1.979951838, 1e-4 * 2);
  EXPECT_NEAR(bin.edf, 1 + bin.smooths[0].edf + bin.smooths[1].edf, 1e-12);
  EXPECT_NEAR(bin.reml, 508.7129387, 1e-6);
  for (std::size_t i = 0; i < t.a.size(); ++i) ASSERT_NEAR(bin.fitted[i], t.fit_binomial[i], 1e-5) << i;
  const api::TraitsGradients& g = bin.gradients;
  EXPECT_EQ(g.gamma_names[1], "gamma[a,b]");
  const double beta[] = {0.2191975008, 0.1054888338},
               gamma[] = {-0.2837118781, 0.01975007465, -0.05569151026};
  for (int a = 0; a < 2; ++a) EXPECT_NEAR(g.beta[a].value, beta[a], 1e-5 * std::abs(beta[a]));
  for (int e = 0; e < 3; ++e)
    EXPECT_NEAR(g.gamma[e + (e > 0)].value, gamma[e], 1e-4 * std::abs(gamma[e]) + 1e-6);

  const api::TraitsResults normal = analysed(data_of(t.yn), Model::normal);
  EXPECT_NEAR(normal.smooths[0].edf, 8.111308759, 1e-4 * 8.1);
  EXPECT_NEAR(normal.smooths[1].edf, 5.303778738, 1e-4 * 5.3);
  EXPECT_NEAR(normal.reml, 662.6377656, 1e-6);
}

// The REML score's derivative in each ln lambda: the gradient the search follows against central
// differences of the score, away from the optimum and at it (where both vanish).
TEST(additive_test, reml_gradient_is_exact_and_vanishes_at_the_choice) {
  const Table& t = table();
  const api::TraitsResults chosen = analysed(data_of(t.y), Model::binomial);
  const std::vector<double> counts(t.a.size(), 1.0);
  const AdditiveDesign design = additive_design({t.a, t.b}, 20, false, counts, {});
  AdditiveFitter fitter(design, t.y, counts, Model::binomial);
  const double h = 1e-4;
  for (const std::vector<double>& rho :
       {std::vector<double>{2.0, 5.0},
        std::vector<double>{std::log(chosen.smooths[0].lambda), std::log(chosen.smooths[1].lambda)}}) {
    const AdditiveFit at = fitter.fit(std::vector<double>{std::exp(rho[0]), std::exp(rho[1])});
    for (int j = 0; j < 2; ++j) {
      std::vector<double> up = rho, down = rho;
      up[j] += h, down[j] -= h;
      const double difference = (fitter.fit(std::vector<double>{std::exp(up[0]), std::exp(up[1])}).reml -
                                 fitter.fit(std::vector<double>{std::exp(down[0]), std::exp(down[1])}).reml) /
                                (2 * h);
      EXPECT_NEAR(at.reml_gradient[j], difference, 1e-6);
      if (rho[0] != 2.0) {
        EXPECT_NEAR(difference, 0, 1e-5);
      }
    }
  }
}

TEST(additive_test, gradients_are_the_fitted_means_derivatives) {
  const Table& t = table();
  for (Model model : {Model::binomial, Model::normal}) {
    const api::TraitsResults r = analysed(data_of(model == Model::normal ? t.yn : t.y), model);
    const double h = 1e-4, w = average(mean_shifted(r, 0, 0, model));
    auto at = [&](double da, double db) { return average(mean_shifted(r, da, db, model)) / w; };
    const api::TraitsGradients& g = r.gradients;
    EXPECT_NEAR(g.mean_fitness, w, 1e-12);
    EXPECT_NEAR(g.beta[0].value, (at(h, 0) - at(-h, 0)) / (2 * h), 1e-7);
    EXPECT_NEAR(g.beta[1].value, (at(0, h) - at(0, -h)) / (2 * h), 1e-7);
    EXPECT_NEAR(g.gamma[0].value, (at(h, 0) - 2 + at(-h, 0)) / (h * h), 1e-5);
    EXPECT_NEAR(g.gamma[3].value, (at(0, h) - 2 + at(0, -h)) / (h * h), 1e-5);
    const double cross = (at(h, h) - at(h, -h) - at(-h, h) + at(-h, -h)) / (4 * h * h);
    EXPECT_NEAR(g.gamma[1].value, cross, 1e-5);
    EXPECT_EQ(g.gamma[1].value, g.gamma[2].value);
    EXPECT_NEAR(g.beta_standardized[1].value, g.beta[1].value * g.trait_sd[1], 1e-15);
  }
}

TEST(additive_test, lande_arnold_as_lm) {
  const api::TraitsGradients g = analysed(data_of(table().y), Model::binomial).gradients;
  const double beta[] = {0.1921202766, 0.1011885365};
  const double gamma[] = {-0.1205487245, -0.1888166839, -0.1888166839, 0.09238707549};
  for (int a = 0; a < 2; ++a) EXPECT_NEAR(g.lande_arnold_beta[a].value, beta[a], 1e-8);
  for (int e = 0; e < 4; ++e) EXPECT_NEAR(g.lande_arnold_gamma[e].value, gamma[e], 1e-8);
}

TEST(additive_test, faults_are_errors) {
  const Table& t = table();
  auto code = [](const api::TraitsData& data, Model model = Model::binomial) {
    Settings settings;
    settings.model = model;
    const auto outcome = api::analyse_traits(data, settings);
    return std::holds_alternative<api::Error>(outcome) ? static_cast<int>(std::get<api::Error>(outcome).code)
                                                       : 0;
  };
  api::TraitsData short_y = data_of(t.y);
  short_y.y.pop_back();
  EXPECT_EQ(code(short_y), static_cast<int>(ErrorCode::data));
  api::TraitsData few = data_of(t.y);
  for (double& v : few.traits[1]) v = std::round(v) > 0 ? 1 : 0;
  EXPECT_EQ(code(few), static_cast<int>(ErrorCode::few_distinct_x));
  api::TraitsData collinear = data_of(t.y);
  collinear.covariates = {
      {.name = "c", .values = std::vector<double>(t.a.size(), 2.0), .categorical = false}};
  EXPECT_EQ(code(collinear), static_cast<int>(ErrorCode::design));
  EXPECT_EQ(code(data_of(t.yn)), static_cast<int>(ErrorCode::y_above_one));
}

// surface.csv (mgcv_reference.R): correlational selection that only a surface shows, against mgcv's
// REML tensor product of the same bases; its stationary point is a saddle, so no peak.
TEST(additive_test, surface_as_mgcv) {
  std::ifstream in(std::string(std::getenv("TROV_SOURCE_DIR")) + "/tests/additive/surface.csv");
  std::string line;
  std::getline(in, line);
  api::TraitsData data{.names = {"a", "b"}, .traits = {{}, {}}, .y = {}, .n = {}, .covariates = {}};
  for (double a, b, y; std::getline(in, line) && std::sscanf(line.c_str(), "%lf,%lf,%lf", &a, &b, &y) == 3;) {
    data.traits[0].push_back(a);
    data.traits[1].push_back(b);
    data.y.push_back(y);
  }
  const auto outcome =
      api::analyse_traits(data, Settings{}, {.surface = true, .knots = 20, .surface_knots = 8});
  ASSERT_TRUE(std::holds_alternative<api::TraitsResults>(outcome));
  const api::TraitsResults& r = std::get<api::TraitsResults>(outcome);
  EXPECT_NEAR(r.edf, 8.59757426, 2e-3);
  const double beta[] = {0.189371522, 0.09692583199}, gamma[] = {-0.2433125398, -0.0990872547, 0.0191259295};
  const api::TraitsGradients& g = r.gradients;
  for (int a = 0; a < 2; ++a) EXPECT_NEAR(g.beta[a].value, beta[a], 1e-3 * beta[a]);
  for (int e = 0; e < 3; ++e)
    EXPECT_NEAR(g.gamma[e + (e > 0)].value, gamma[e], 1e-3 * std::abs(gamma[e]) + 1e-5);
  EXPECT_FALSE(r.peak.inside);
  ASSERT_TRUE(r.surface);
  EXPECT_EQ(r.surface->grid_fitted.size(), 41u * 41u);
}

// A concave fitness function's peak is found where it is, and the bootstrap's spread does not depend on
// the number of workers.
TEST(additive_test, peak_and_bootstrap) {
  const Table& t = table();
  api::TraitsData data = data_of({});
  for (std::size_t i = 0; i < t.a.size(); ++i)
    data.y.push_back(5 - (t.a[i] - 0.3) * (t.a[i] - 0.3) - (t.b[i] + 0.2) * (t.b[i] + 0.2) +
                     (t.yn[i] - 2) / 4);
  Settings settings;
  settings.model = Model::normal;
  settings.bootstrap = 20;
  std::vector<api::TraitsResults> runs;
  for (int workers : {1, 2}) {
    const auto outcome = api::analyse_traits(data, settings, {}, workers);
    ASSERT_TRUE(std::holds_alternative<api::TraitsResults>(outcome));
    runs.push_back(std::get<api::TraitsResults>(outcome));
  }
  const api::Peak& peak = runs[0].peak;
  ASSERT_TRUE(peak.inside);
  EXPECT_NEAR(peak.location[0].value, 0.3, 0.1);
  EXPECT_NEAR(peak.location[1].value, -0.2, 0.1);
  EXPECT_LT(peak.location[0].lower, peak.location[0].value);
  EXPECT_GT(peak.location[0].upper, peak.location[0].value);
  EXPECT_EQ(peak.replicates, 20);
  EXPECT_EQ(peak.location[1].se, runs[1].peak.location[1].se);
  EXPECT_EQ(runs[0].gradients.gamma[1].se, runs[1].gradients.gamma[1].se);
  EXPECT_GT(runs[0].gradients.beta[0].se, 0);
}

}  // namespace
