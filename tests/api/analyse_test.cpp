// The library's one call: the engine program's numbers, its errors as values, many traits at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "engine/api/trov.h"

namespace trov::api {
namespace {

using Json = nlohmann::json;

std::string case_dir(const std::string& name) {
  return std::string(std::getenv("TROV_SOURCE_DIR")) + "/tests/cases/" + name + "/";
}

// The cases of a data file: y, x and, with a third column, the covariate.
Data read_cases(const std::string& path, bool covariate) {
  Data data;
  std::ifstream in(path);
  double y, x, c;
  while (in >> y >> x && (!covariate || in >> c)) {
    data.y.push_back(y);
    data.x.push_back(x);
    if (covariate) data.covariate.push_back(c);
  }
  return data;
}

// The settings of the shipped binomial runs, rounded to single precision as the program reads them.
Settings program_settings() {
  Settings s;
  s.classic = true;
  s.maxit = 5;
  s.stop = static_cast<float>(0.005);
  s.seed = 2387498;
  return s;
}

// The golden report without what only the program knows: the data file's name and its lines.
Json without_file(Json report) {
  report.erase("settings");
  report["diagnostics"].erase("irregular_lines");
  return report;
}

Results results_of(const Outcome& outcome) {
  if (const Error* e = std::get_if<Error>(&outcome)) ADD_FAILURE() << e->text;
  return std::get<Results>(outcome);
}

TEST(analyse_test, gives_the_engine_programs_numbers_to_the_last_bit) {
  struct Case {
    std::string name, data;
    bool covariate;
    Settings settings;
  };
  Settings grid = program_settings();
  grid.fit_recommended = false;
  Settings category = grid;
  category.categorical = true;
  Settings reselected = program_settings();
  reselected.lnlambda = static_cast<float>(1.1);
  reselected.bootstrap = 200;
  reselected.bootstrap_lambda = BootstrapLambda::reselected;
  for (const Case& c : {Case{"reml_binomial_grid", "demo1.dat", false, grid},
                        Case{"reml_covariate_category_grid", "covariate.dat", true, category},
                        Case{"boot_reselected_binomial", "demo1.dat", false, reselected}}) {
    const Results r = results_of(analyse(read_cases(case_dir(c.name) + c.data, c.covariate), c.settings));
    const Json expected = Json::parse(std::ifstream(case_dir(c.name) + "expected.trov.json"));
    EXPECT_EQ(without_file(Json::parse(report_text(r))), without_file(expected)) << c.name;
    // the warnings are made as values, not read from the document, and say what it says
    EXPECT_EQ(r.warnings, expected["warnings"].get<std::vector<std::string>>()) << c.name;
    // the values are the report's
    for (std::size_t k = 0; k < r.grid.size(); ++k) {
      EXPECT_EQ(r.grid[k].reml, expected["grid"][k]["converged_fit"]["reml"].get<double>());
      EXPECT_EQ(r.grid[k].classic_gcv, expected["grid"][k]["gcv"].get<double>());
    }
    if (c.settings.lnlambda) {
      const Json& selection = expected["selection"];
      EXPECT_EQ(r.fit->gradients->gamma.value, selection["gamma"].get<double>());
      EXPECT_EQ(r.fit->gradients->gamma.se, selection["bootstrap"]["gamma"]["se"].get<double>());
      EXPECT_EQ(r.fit->points.front().upper, expected["bootstrap"]["points"][0]["upper"].get<double>());
    } else {
      const Json& recommended = expected["minimum"]["recommended"];
      ASSERT_TRUE(r.recommended);
      EXPECT_EQ(r.recommended->lnlambda, recommended["lnlambda"].get<double>());
      EXPECT_EQ(r.recommended->text, recommended["text"].get<std::string>());
    }
  }
}

// Without the classic fits (the library's default) the converged answer is the same to the last bit:
// grid, minima, the recommended lambda, the fit and its bootstrap; only the classic numbers are NaN.
TEST(analyse_test, the_converged_answer_never_depends_on_a_classic_fit) {
  const Data data = read_cases(case_dir("reml_binomial_grid") + "demo1.dat", false);
  Settings with = program_settings();
  with.bootstrap = 50;
  Settings without = with;
  without.classic = false;
  const Results a = results_of(analyse(data, with)), b = results_of(analyse(data, without));
  ASSERT_EQ(a.grid.size(), b.grid.size());
  for (std::size_t k = 0; k < a.grid.size(); ++k) {
    EXPECT_EQ(a.grid[k].reml, b.grid[k].reml);
    EXPECT_EQ(a.grid[k].edf, b.grid[k].edf);
    EXPECT_TRUE(std::isnan(b.grid[k].classic_gcv));
  }
  ASSERT_TRUE(a.recommended && b.recommended && a.fit && b.fit);
  EXPECT_EQ(a.recommended->lnlambda, b.recommended->lnlambda);
  for (std::size_t i = 0; i < a.fit->points.size(); ++i) {
    EXPECT_EQ(a.fit->points[i].fitted, b.fit->points[i].fitted);
    EXPECT_EQ(a.fit->points[i].upper, b.fit->points[i].upper);
    EXPECT_TRUE(std::isnan(b.fit->points[i].classic_fitted));
  }
  EXPECT_EQ(a.fit->gradients->gamma.se, b.fit->gradients->gamma.se);
  EXPECT_TRUE(std::isnan(b.fit->gradients->classic_beta));
}

TEST(analyse_test, a_grid_goes_on_to_the_fit_at_its_recommended_lambda) {
  const Data data = read_cases(case_dir("reml_binomial_grid") + "demo1.dat", false);
  const Results r = results_of(analyse(data, program_settings()));
  ASSERT_TRUE(r.recommended && r.fit);
  EXPECT_EQ(r.fit->lnlambda, r.recommended->lnlambda);
  EXPECT_NEAR(r.fit->edf, r.recommended->edf, 1e-9);
  EXPECT_EQ(r.fit->points.size(), 275u);
}

TEST(analyse_test, refuses_what_it_cannot_take_with_a_numbered_error) {
  Data data = read_cases(case_dir("reml_binomial_grid") + "demo1.dat", false);
  const auto code = [](const Outcome& o) { return std::get<Error>(o).code; };
  Settings bootstrap_on_grid = program_settings();
  bootstrap_on_grid.bootstrap = 10;
  bootstrap_on_grid.fit_recommended = false;
  EXPECT_EQ(code(analyse(data, bootstrap_on_grid)), ErrorCode::settings);
  Data uneven = data;
  uneven.y.pop_back();
  EXPECT_EQ(code(analyse(uneven, program_settings())), ErrorCode::data);
  Data missing = data;
  missing.x[7] = NAN;
  EXPECT_EQ(code(analyse(missing, program_settings())), ErrorCode::data);
  Data constant = data;
  std::fill(constant.y.begin(), constant.y.end(), 1.0);
  const Outcome none = analyse(constant, program_settings());
  EXPECT_EQ(code(none), ErrorCode::no_variance);
  EXPECT_NE(std::get<Error>(none).text.find("variance"), std::string::npos);
  const std::atomic<bool> stop{true};
  EXPECT_EQ(code(analyse(data, program_settings(), 2, {.progress = {}, .stop = &stop})), ErrorCode::stopped);
  // workers: a whole number from 0; more than the processors are capped to them
  EXPECT_EQ(code(analyse(data, program_settings(), -1)), ErrorCode::settings);
  for (const Outcome& o : analyse_many({data.x, data.x}, data.y, {}, {}, program_settings(), -3))
    EXPECT_EQ(code(o), ErrorCode::settings);
  for (const double refused : {-1.0, 1.5, double{NAN}, double{INFINITY}})
    EXPECT_TRUE(std::holds_alternative<Error>(worker_threads(refused))) << refused;
  EXPECT_EQ(std::get<Error>(worker_threads(-5)).text,
            "workers must be a whole number from 0 (0: every processor this process may use), not -5");
  const int processors = std::get<int>(worker_threads(0));
  EXPECT_GE(processors, 1);
  EXPECT_EQ(std::get<int>(worker_threads(1)), 1);
  EXPECT_EQ(std::get<int>(worker_threads(1e12)), processors);
}

// A categorical covariate's effects come out per level in increasing order, relative to the smallest,
// whatever order the points meet the levels in: y = 2x + effect(level), which every lambda fits exactly.
TEST(analyse_test, level_effects_are_relative_to_the_smallest_level) {
  const std::map<double, double> effect = {{1, 0.75}, {2, -0.5}, {3, 0}};
  Data data;
  for (int i = 0; i < 30; ++i) {
    const double level = 3 - i % 3;  // the points meet 3 first, then 2, then 1
    data.x.push_back(i);
    data.covariate.push_back(level);
    data.y.push_back(2.0 * i + effect.at(level));
  }
  Settings settings = program_settings();
  settings.model = Model::normal;
  settings.categorical = true;
  settings.lnlambda = 5.0;
  const Results r = results_of(analyse(data, settings));
  ASSERT_TRUE(r.fit);
  EXPECT_EQ(r.fit->levels, (std::vector<double>{1, 2, 3}));
  ASSERT_EQ(r.fit->level_effects.size(), 3u);
  EXPECT_EQ(r.fit->level_effects[0], 0.0);
  EXPECT_NEAR(r.fit->level_effects[1], -1.25, 1e-9);
  EXPECT_NEAR(r.fit->level_effects[2], -0.75, 1e-9);
}

TEST(analyse_test, many_traits_give_each_traits_own_results_and_more_cases_than_the_program_takes) {
  const Data data = read_cases(case_dir("reml_binomial_grid") + "demo1.dat", false);
  std::vector<std::vector<double>> traits(3, data.x);
  for (std::size_t i = 0; i < data.x.size(); ++i) {
    traits[1][i] = std::sqrt(data.x[i]);
    traits[2][i] = data.x[(i * 7) % data.x.size()];
  }
  const Settings settings = program_settings();
  const std::vector<Outcome> many = analyse_many(traits, data.y, {}, {}, settings, 2);
  for (std::size_t t = 0; t < traits.size(); ++t)
    EXPECT_EQ(report_text(std::get<Results>(many[t])),
              report_text(std::get<Results>(analyse({traits[t], data.y, {}, {}}, settings, 1))));

  Data large;
  for (int i = 0; i < 30000; ++i) {
    large.x.push_back(i % 997 + 0.001 * (i % 13));
    large.y.push_back(std::sin(i * 0.37) + 0.01 * (i % 997));
  }
  Settings normal = program_settings();
  normal.model = Model::normal;
  normal.lnlambda = 0.0;
  const Results r = results_of(analyse(large, normal));
  EXPECT_EQ(r.cases, 30000);
  EXPECT_TRUE(r.fit && r.fit->converged_ok);
}

// The searches may begin while the grid's last rows are being fitted; where a row that came in late
// moves a search's start (here the smallest scores lie at the grid's end), they begin again from it.
TEST(analyse_test, searches_begun_before_the_last_row_find_what_they_would_after_it) {
  Data noise;
  std::uint32_t state = 12345;
  for (int i = 0; i < 2000; ++i) {
    state = state * 1103515245u + 12345u;
    noise.x.push_back(i * 0.01);
    noise.y.push_back((state >> 16) % 10 < 4 ? 1.0 : 0.0);
  }
  Settings settings = program_settings();
  settings.fit_recommended = false;
  const std::string alone = report_text(results_of(analyse(noise, settings, 1)));
  for (int run = 0; run < 5; ++run) EXPECT_EQ(report_text(results_of(analyse(noise, settings, 2))), alone);
}

// The converged curve's peak: where stabilizing selection puts it, no lower than any fitted point and
// close to the highest of dense ones, its bootstrap limits around it; none for directional selection.
TEST(analyse_test, the_peak_lies_where_the_curve_is_highest) {
  Data stabilizing, directional;
  std::uint64_t state = 12345;
  auto uniform = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  for (int i = 0; i < 400; ++i) {
    const double x = 10.0 * i / 399;
    for (auto [data, eta] :
         {std::pair{&stabilizing, 1 - 0.3 * (x - 6) * (x - 6)}, std::pair{&directional, x - 5}}) {
      data->x.push_back(x);
      data->y.push_back(uniform() < 1 / (1 + std::exp(-eta)) ? 1 : 0);
    }
  }
  Settings settings;
  settings.lnlambda = 4;
  settings.bootstrap = 40;
  const Results r = std::get<Results>(analyse(stabilizing, settings));
  const Peak& peak = r.fit->gradients->peak;
  ASSERT_TRUE(peak.inside);
  EXPECT_NEAR(peak.location[0].value, 6, 0.6);
  double highest = 0;
  for (const FittedPoint& p : r.fit->points) highest = std::max(highest, p.fitted);
  EXPECT_GE(peak.height.value, highest);
  EXPECT_NEAR(peak.height.value, highest, 1e-3);
  EXPECT_LT(peak.location[0].lower, peak.location[0].value);
  EXPECT_GT(peak.location[0].upper, peak.location[0].value);
  EXPECT_GT(peak.replicates, 30);
  EXPECT_FALSE(std::get<Results>(analyse(directional, settings)).fit->gradients->peak.inside);
}

}  // namespace
}  // namespace trov::api
