// The data users bring: binary data whose classic fits stop, 0/1 data whose criteria fall into
// separation, a straight line found by REML, overdispersed counts, many close X.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "engine/api/trov.h"

namespace trov::api {
namespace {

Results results_of(const Outcome& outcome) {
  if (const Error* e = std::get_if<Error>(&outcome)) ADD_FAILURE() << e->text;
  return std::get<Results>(outcome);
}

bool warns(const Results& r, const std::string& kind) {
  return std::any_of(r.warnings.begin(), r.warnings.end(),
                     [&](const std::string& w) { return w.starts_with(kind + ":"); });
}

// Uniforms from the raw bits of the 32-bit Mersenne twister, which the language fixes: the same data on
// every platform.
struct Uniform {
  std::mt19937 bits;
  double operator()() { return (bits() + 0.5) / 4294967296.0; }
};

// 2000 survivals along a wave of X in [0, 10]: with maxit 100 the classic fit loses a weight at
// ln(lambda) = 8 (seed 2).
Data wave(unsigned seed) {
  Uniform unit{std::mt19937(seed)};
  Data d;
  for (int i = 0; i < 2000; ++i) d.x.push_back(10 * unit());
  std::sort(d.x.begin(), d.x.end());
  for (double x : d.x) d.y.push_back(unit() < 1 / (1 + std::exp(-0.8 * std::sin(x))) ? 1 : 0);
  return d;
}

Data read_cases(const std::string& name) {
  Data d;
  std::ifstream in(std::string(std::getenv("TROV_SOURCE_DIR")) + "/tests/fit/data/" + name);
  for (double y = 0, x = 0; in >> y >> x;) d.y.push_back(y), d.x.push_back(x);
  return d;
}

TEST(users_data_test, a_classic_fit_that_stops_leaves_the_converged_answer_whole) {
  const Data data = wave(2);
  Settings with;
  with.classic = true;
  const Results classic = results_of(analyse(data, with));
  const Results alone = results_of(analyse(data, Settings{}));
  EXPECT_TRUE(warns(classic, "classic_stopped"));
  ASSERT_TRUE(classic.recommended && alone.recommended && classic.fit && alone.fit);
  EXPECT_EQ(classic.recommended->lnlambda, alone.recommended->lnlambda);
  EXPECT_EQ(classic.fit->gradients->beta.value, alone.fit->gradients->beta.value);
  // the classic numbers end where they stopped; the converged ones cover the grid
  EXPECT_TRUE(std::isnan(classic.grid.back().classic_gcv));
  EXPECT_FALSE(std::isnan(classic.grid.front().classic_gcv));
  for (const GridRow& row : alone.grid) EXPECT_TRUE(row.converged_ok) << row.lnlambda;
}

// On 0/1 data the cross-validation scores fall towards small lambda until the fits separate: every
// criterion ends at a minimum or names its limit, none without an answer.
TEST(users_data_test, every_search_ends_at_a_minimum_or_a_named_limit) {
  for (const char* name : {"pima_glucose.dat", "birthwt_lwt.dat", "coin_flips.dat"}) {
    Settings grid;
    grid.fit_recommended = false;
    const Results r = results_of(analyse(read_cases(name), grid));
    ASSERT_EQ(r.minima.size(), 5u) << name;
    for (const Minimum& m : r.minima) {
      EXPECT_TRUE(m.limit.empty() || m.limit == "linear" || m.limit == "interpolating" ||
                  m.limit == "separating")
          << name << " " << static_cast<int>(m.criterion) << " " << m.limit;
      EXPECT_TRUE(std::isfinite(m.score) && std::isfinite(m.edf)) << name;
    }
    // the recommended criterion's minimum at the grid's edge is what grid_minimum_at_edge speaks of
    const auto report = nlohmann::json::parse(report_text(r));
    const auto& reml = report["minimum"]["converged_reml"];
    EXPECT_EQ(report["diagnostics"]["grid_minimum_at_edge"], reml["at_edge"]) << name;
  }
}

// Fair coin flips: REML finds the straight line, where gamma reflects the logit alone and has no P;
// beta keeps its own.
TEST(users_data_test, gamma_at_the_linear_limit_has_no_p) {
  Settings s;
  s.bootstrap = 40;
  const Results r = results_of(analyse(read_cases("coin_flips.dat"), s));
  ASSERT_TRUE(r.fit && r.fit->gradients);
  EXPECT_EQ(r.recommended->limit, "linear");
  EXPECT_TRUE(r.fit->gradients->linear_limit);
  EXPECT_TRUE(std::isnan(r.fit->gradients->gamma.p) && std::isnan(r.fit->gradients->gamma_standardized.p));
  EXPECT_TRUE(std::isfinite(r.fit->gradients->gamma.se));
  EXPECT_TRUE(std::isfinite(r.fit->gradients->beta.p));
  EXPECT_TRUE(warns(r, "gamma_link_only"));
}

// Counts of gamma-Poisson mixtures (variance 4 times the mean): the Pearson dispersion says so, and the
// bootstrap of the cases, which alone carries the extra spread, gives larger standard errors than the
// parametric one. Either is the same on one worker and on two.
TEST(users_data_test, overdispersed_counts_are_named_and_the_cases_bootstrapped) {
  Uniform unit{std::mt19937(7)};
  Data d;
  for (int i = 0; i < 400; ++i) {
    const double x = 4 * unit(), mean = std::exp(1 + 0.3 * x);
    // gamma of shape k = mean / 3 (so that the variance is 4 means) by summing exponentials, then Poisson
    const int k = std::max(1, static_cast<int>(std::lround(mean / 3)));
    double rate = 0;
    for (int j = 0; j < k; ++j) rate -= std::log(unit());
    rate *= mean / k;
    int count = 0;
    for (double t = -std::log(unit()); t < rate; t -= std::log(unit())) ++count;
    d.x.push_back(x);
    d.y.push_back(count);
  }
  Settings s;
  s.model = Model::poisson;
  s.lnlambda = 4.0;
  s.bootstrap = 60;
  s.bootstrap_lambda = BootstrapLambda::fixed;
  const Results parametric = results_of(analyse(d, s));
  s.bootstrap_type = BootstrapType::cases;
  const Results cases = results_of(analyse(d, s, 1)), again = results_of(analyse(d, s, 2));
  ASSERT_TRUE(parametric.fit && cases.fit);
  EXPECT_GT(parametric.fit->dispersion, 1.5);
  EXPECT_TRUE(warns(parametric, "overdispersion"));
  EXPECT_GT(cases.fit->gradients->beta.se, 1.3 * parametric.fit->gradients->beta.se);
  EXPECT_EQ(report_text(cases), report_text(again));
  EXPECT_EQ(cases.fit->bootstrap->type, BootstrapType::cases);
}

// 5000 close X (2e-4 apart on average) and a large lambda: the classic smoother's trace leaves the
// converged one's, falls below 2 and rises again; those rows are flagged and left out of the classic
// minimum.
TEST(users_data_test, classic_rows_that_lost_their_accuracy_are_flagged) {
  Uniform unit{std::mt19937(5)};
  Data d;
  for (int i = 0; i < 5000; ++i) d.x.push_back(unit());
  std::sort(d.x.begin(), d.x.end());
  for (double x : d.x) d.y.push_back(std::sin(6 * x) + 0.3 * (unit() - 0.5));
  Settings s;
  s.classic = true;
  s.model = Model::normal;
  s.lnlambda_min = 5;
  s.lnlambda_max = 25;
  s.grid_points = 11;
  s.fit_recommended = false;
  const Results r = results_of(analyse(d, s));
  EXPECT_TRUE(warns(r, "classic_inaccurate"));
  const auto report = nlohmann::json::parse(report_text(r));
  int flagged = 0;
  for (const auto& row : report["grid"]) flagged += row["classic_inaccurate"].get<bool>() ? 1 : 0;
  EXPECT_GE(flagged, 5);
  const auto& gcv = report["minimum"]["gcv"];
  if (gcv.is_object()) {
    EXPECT_FALSE(report["grid"][gcv["index"].get<int>()]["classic_inaccurate"].get<bool>());
  }
}

}  // namespace
}  // namespace trov::api
