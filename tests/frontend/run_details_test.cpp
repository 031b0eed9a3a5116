#include "frontend/run_details.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

namespace trov::front {
namespace {

std::string fixture(const std::string& name) {
  return std::string(std::getenv("TROV_SOURCE_DIR")) + "/tests/frontend/fixtures/" + name;
}

// The engine's classic fit of a covariate run gives the check: its linear predictors and coefficients,
// corrected here, must give the engine's own corrected values (yhat_corrected).
TEST(run_details_test, the_covariate_correction_reproduces_the_engines_corrected_classic_fit) {
  for (const char* name : {"cov_continuous_binomial_fixed.json", "cov_category3_poisson_fixed.json"}) {
    SCOPED_TRACE(name);
    const RunDetails run = read_run_details(fixture(name));
    ASSERT_TRUE(run.read);
    ASSERT_EQ(run.converged.size(), run.x.size());
    std::ifstream file(fixture(name));
    const nlohmann::json r = nlohmann::json::parse(file);
    std::vector<double> nu, expected;
    for (const auto& point : r["fit"]["points"]) {
      nu.push_back(point["nu"].get<double>());
      expected.push_back(point["yhat_corrected"].get<double>());
    }
    const std::vector<double> corrected =
        corrected_for_covariate(run, nu, r["fit"]["coefficients"].get<std::vector<double>>());
    for (std::size_t i = 0; i < expected.size(); ++i)
      EXPECT_NEAR(corrected[i], expected[i], 1e-12 * std::fabs(expected[i]) + 1e-15);
    EXPECT_EQ(run.classic, expected);
    // the symbols of the plot: the classic fit at each point's own covariate
    EXPECT_EQ(run.kind, RunKind::fitted);
    EXPECT_EQ(run.uncorrected.front(), r["fit"]["points"][0]["yhat"].get<double>());
  }
}

// trov.json holding `text`, read as the plots read it.
RunDetails details_of(const std::string& text) {
  const auto path =
      std::filesystem::temp_directory_path() / ("trovwin_run_" + std::to_string(getpid()) + ".json");
  std::ofstream(path) << text;
  RunDetails run = read_run_details(path.string());
  std::filesystem::remove(path);
  return run;
}

const std::string kSettings =
    R"({"status": "ok", "settings": {"covariates": 1, "categorical": false, "nstep": 2, "lmin": -1.0,
        "model": "normal", "bootstrap_replicates": 0, "data_file": "d.dat"},
        "data": {"cases": 5, "observations": 5}, "warnings": [], )";

// The plots take every value from trov.json: a grid's classic scores (no OCV with a covariate), and a
// bootstrap's band of the converged refits beside the classic fit.
TEST(run_details_test, a_grid_and_a_bootstrap_are_read_at_full_precision) {
  RunDetails run =
      details_of(kSettings + R"("grid": [{"lnlambda": -1.0, "trace": 4.5, "gcv": 0.123456789012, "ocv": null},
        {"lnlambda": 1.0, "trace": 2.5, "gcv": 0.2, "ocv": null}], "minimum": {"gcv": null}})");
  ASSERT_TRUE(run.read) << run.unread;
  EXPECT_EQ(run.kind, RunKind::grid);
  EXPECT_EQ(run.grid_lnlambda, (std::vector<double>{-1.0, 1.0}));
  EXPECT_EQ(run.grid_gcv, (std::vector<double>{0.123456789012, 0.2}));
  EXPECT_TRUE(std::isnan(run.grid_ocv[1]));
  run = details_of(kSettings + R"("grid": [], "bootstrap": {"band": "converged",
        "points": [{"x": 1.5, "y": 0.25, "yhat": 0.3, "lower": 0.2, "upper": 0.4}],
        "classic_points": [{"yhat": 0.31, "lower": 0.21, "upper": 0.41}]}})");
  ASSERT_TRUE(run.read) << run.unread;
  EXPECT_EQ(run.kind, RunKind::bootstrap);
  EXPECT_EQ(run.converged, std::vector<double>{0.3});
  EXPECT_EQ(run.classic, std::vector<double>{0.31});
  EXPECT_EQ(run.lower, std::vector<double>{0.2});
}

TEST(run_details_test, a_run_without_results_says_why_and_a_failed_one_gives_its_error_report) {
  EXPECT_EQ(read_run_details("no/such/trov.json").unread, "the engine wrote no no/such/trov.json");
  EXPECT_EQ(details_of("{\"status\": \"ok\", ").unread.ends_with(" cannot be read"), true);
  EXPECT_EQ(details_of(kSettings + R"("grid": []})").unread.ends_with(" is not laid out as trovwin reads it"),
            true);
  const auto path =
      std::filesystem::temp_directory_path() / ("trovwin_error_" + std::to_string(getpid()) + ".json");
  std::ofstream(path) << R"({"status": "error", "error": ["Error: Y has no variance"], "error_code": 4})";
  const std::optional<ErrorReport> report = read_error_report(path.string());
  EXPECT_FALSE(read_run_details(path.string()).read);
  std::filesystem::remove(path);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->code, 4);
  EXPECT_EQ(report->message, std::vector<std::string>{"Error: Y has no variance"});
  EXPECT_FALSE(read_error_report("no/such/trov.json"));
}

// A run whose classic table stopped still has its converged answer; the gradients say where the fit
// found no curvature.
TEST(run_details_test, a_classic_table_that_stopped_leaves_the_converged_analysis) {
  RunDetails run = read_run_details(fixture("grid_classic_stopped.json"));
  ASSERT_TRUE(run.read) << run.unread;
  ASSERT_TRUE(run.classic_stopped && run.recommended);
  EXPECT_EQ(run.classic_stopped->lnlambda, -4.0);
  EXPECT_EQ(run.classic_stopped->message, "Program crashed (GLM weight is zero)");
  EXPECT_EQ(run.dispersion, 1.04);
  EXPECT_TRUE(std::isnan(run.grid_gcv.back()) && std::isfinite(run.grid_gcv.front()));
  run = read_run_details(fixture("fixed_classic_stopped.json"));
  ASSERT_TRUE(run.read) << run.unread;
  EXPECT_EQ(run.kind, RunKind::fitted);
  EXPECT_EQ(run.converged.size(), run.x.size());
  EXPECT_EQ(classic_differs(run), std::vector<bool>(run.x.size(), false));  // no classic values to draw
  EXPECT_TRUE(std::isnan(run.dispersion));
  run = read_run_details(fixture("boot_linear_overdispersed.json"));
  ASSERT_TRUE(run.read && run.gamma && run.beta_standardized);
  EXPECT_TRUE(run.linear_limit);
  EXPECT_TRUE(std::isnan(run.gamma->p));
  EXPECT_EQ(gradient_text("gamma", *run.gamma, {.with_p = true, .link_only = true}),
            "gamma = 0.0374: link only (no curvature found)");
  EXPECT_EQ(gradient_text("beta", *run.beta, {.digits = 2, .with_p = true}),
            "beta = 0.16 (SE 0.069, P = 0.095)");
  // without classic_stopped an error is an error
  EXPECT_FALSE(
      details_of(R"({"status": "error", "error": ["x"], "error_code": 11, "diagnostics": {}})").read);
}

// trov.json's bootstrap points hold no counts: the data file, read and pooled as the engine does, gives
// them when its points are trov.json's.
TEST(run_details_test, a_bootstraps_counts_and_covariate_come_from_its_data_file) {
  const auto data =
      std::filesystem::temp_directory_path() / ("trovwin_data_" + std::to_string(getpid()) + ".dat");
  const auto bootstrap = [&](const std::string& settings, const std::string& points) {
    return details_of(R"({"status": "ok", "settings": {"model": "binomial", "bootstrap_replicates": 9,
        "nstep": 1, "lmin": 0.0, "data_file": ")" +
                      data.string() + "\", " + settings + R"(},
        "data": {"cases": 3, "observations": 6, "levels": [2.0, 1.0]}, "warnings": [], "grid": [],
        "bootstrap": {"band": "converged", "coefficients": [0, 2], "converged_coefficients": [0, 1],
        "points": [)" +
                      points + R"(], "classic_points": []}})");
  };
  std::ofstream(data) << "1 2.0 3\n0 1.0 -4 7 7\n1 2 2\n";  // a count below 1 counts 1; a case per line
  RunDetails run = bootstrap(R"("covariates": 0, "categorical": false, "counts_column": true)",
                             R"({"x": 1.0, "y": 0, "yhat": 0.5}, {"x": 2.0, "y": 1, "yhat": 0.5})");
  ASSERT_TRUE(run.read) << run.unread;
  EXPECT_TRUE(run.n.empty());  // trov.json's own points say nothing of N
  complete_bootstrap_points(run);
  EXPECT_EQ(run.n, (std::vector<double>{1, 5}));
  run = bootstrap(R"("covariates": 0, "categorical": false, "counts_column": true)",
                  R"({"x": 1.0, "y": 0, "yhat": 0.5}, {"x": 2.5, "y": 1, "yhat": 0.5})");
  complete_bootstrap_points(run);  // another data file than the run's: no counts
  EXPECT_TRUE(run.n.empty());
  std::ofstream(data) << "1 2 1\n0 1 2\n1 1 1\n";
  run = bootstrap(
      R"("covariates": 1, "categorical": true, "counts_column": false)",
      R"({"x": 1, "y": 1, "yhat": 0.5}, {"x": 1, "y": 0, "yhat": 0.5}, {"x": 2, "y": 1, "yhat": 0.5})");
  run.observations = 3;
  complete_bootstrap_points(run);
  std::filesystem::remove(data);
  EXPECT_EQ(run.c, (std::vector<double>{1, 2, 1}));
  // the converged curve at each point's level: level 1 is 1 above level 2 on the logit scale, the curve
  // at the mean effect 2/3
  ASSERT_EQ(run.uncorrected.size(), 3u);
  EXPECT_NEAR(run.uncorrected[0], 1 / (1 + std::exp(-1.0 / 3)), 1e-15);
  EXPECT_NEAR(run.uncorrected[1], 1 / (1 + std::exp(2.0 / 3)), 1e-15);
}

TEST(run_details_test, the_classic_fit_is_shown_where_it_differs_by_more_than_the_limit) {
  RunDetails run;
  run.model = "binomial";
  run.y = {0, 1, 0, 1};
  run.classic = {0.5, 0.5, 0.5, 0.5};
  run.converged = {0.5, 0.509, 0.52, NAN};
  EXPECT_EQ(classic_differs(run), (std::vector<bool>{false, false, true, true}));
  run.model = "poisson";  // 1% of the range of Y, 0.01 here too
  run.y = {0, 200, 0, 0};
  EXPECT_EQ(classic_differs(run), (std::vector<bool>{false, false, false, true}));
}

}  // namespace
}  // namespace trov::front
