#include "frontend/run_report.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "common/report_keys.h"
#include "frontend/run_details.h"

namespace trov::front {
namespace {

namespace key = report_keys;

std::string golden(const std::string& name) {
  return std::string(std::getenv("TROV_SOURCE_DIR")) + "/tests/cases/" + name;
}

bool whole_column(const std::vector<double>& values, std::size_t size) {
  return values.size() == size &&
         std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

bool whole_gradient(const Gradient& g) {
  return std::isfinite(g.value) && std::isfinite(g.se) && std::isfinite(g.p);
}

// The engine's own trov.json files (the goldens of its whole runs) are read whole: every member the
// reader takes is there under the name it looks for, so a value it finds missing would be a name the
// writer no longer writes. Each warning splits into its kind and words and joins back to its line.
TEST(run_report_test, the_engines_results_files_are_read_whole) {
  const auto read = [](const std::string& name) {
    RunReport report = read_run_report(golden(name));
    EXPECT_EQ(report.read, RunReport::Read::whole) << name;
    std::ifstream file(golden(name));
    const nlohmann::json r = nlohmann::json::parse(file);
    EXPECT_EQ(warning_lines(report.warnings), r[key::document::warnings].get<std::vector<std::string>>());
    if (r[key::document::status] == key::document::ok) {
      // members whose absence would read as a default
      for (const char* name : {key::settings::covariates, key::settings::categorical,
                               key::settings::counts_column, key::settings::bootstrap_replicates})
        EXPECT_TRUE(r[key::document::settings].contains(name)) << name;
      EXPECT_TRUE(r[key::document::diagnostics].contains(key::diagnostics::grid_minimum_at_edge));
      EXPECT_TRUE(report.has_results());
      EXPECT_FALSE(report.settings.model.empty() || report.settings.data_file.empty() ||
                   report.settings.criterion.empty());
      EXPECT_TRUE(report.data && report.data->cases > 0 && report.data->observations > 0);
    }
    return report;
  };

  RunReport grid = read("reml_binomial_grid/expected.trov.json");
  ASSERT_EQ(grid.grid.size(), 21u);
  for (const GridRow& row : grid.grid) {
    EXPECT_TRUE(whole_column({row.lnlambda, row.trace, row.gcv, row.ocv, row.converged_edf}, 5));
    ASSERT_TRUE(row.converged);
    for (const char* criterion : key::criteria) EXPECT_TRUE(std::isfinite(row.converged_score.at(criterion)));
  }
  ASSERT_TRUE(grid.minimum && grid.minimum->gcv && grid.minimum->ocv && grid.minimum->recommended);
  EXPECT_EQ(grid.minimum->gcv->index, 14u);
  EXPECT_TRUE(std::isfinite(grid.minimum->ocv->score));
  const Recommended& rec = *grid.minimum->recommended;
  EXPECT_EQ(rec.criterion, "reml");
  EXPECT_EQ(rec.score, 173.7186975653192);  // the refined minimum's, not the grid's
  EXPECT_TRUE(std::isfinite(rec.lnlambda) && std::isfinite(rec.edf) && !rec.text.empty());
  EXPECT_FALSE(grid.fit || grid.bootstrap || grid.selection);

  RunReport boot = read("boot_reselected_binomial/expected.trov.json");
  ASSERT_TRUE(boot.bootstrap && boot.bootstrap->classic_points && boot.selection);
  const ReportBootstrap& b = *boot.bootstrap;
  EXPECT_EQ(b.lambda, "reselected");
  EXPECT_EQ(b.band, "converged");
  EXPECT_TRUE(whole_column(b.lnlambda_quantiles, 3));
  const std::size_t points = b.points.x.size();
  EXPECT_GT(points, 100u);
  for (const auto* column : {&b.points.y, &b.points.yhat, &b.points.lower, &b.points.upper,
                             &b.classic_points->yhat, &b.classic_points->lower, &b.classic_points->upper})
    EXPECT_TRUE(whole_column(*column, points));
  for (const Gradient* g : {&boot.selection->beta, &boot.selection->gamma, &boot.selection->beta_standardized,
                            &boot.selection->gamma_standardized})
    EXPECT_TRUE(whole_gradient(*g));
  EXPECT_TRUE(std::isfinite(boot.selection->mean_fitness));
  EXPECT_EQ(boot.settings.bootstrap_replicates, 200);
  EXPECT_EQ(fixed_lambda_edf(boot), boot.grid.at(0).converged_edf);

  RunReport covariate = read("fit_cov_continuous_json/expected.trov.json");
  ASSERT_TRUE(covariate.fit && covariate.fit->converged_points);
  const ReportFit& f = *covariate.fit;
  EXPECT_EQ(covariate.settings.covariates, 1);
  EXPECT_TRUE(whole_column(f.coefficients, 2) && whole_column(f.converged_coefficients, 2));
  const std::size_t n = f.points.x.size();
  for (const auto* column : {&f.points.y, &f.points.n, &f.points.c, &f.points.yhat, &f.points.nu,
                             &f.points.yhat_corrected, &f.converged_points->yhat, &f.converged_points->nu})
    EXPECT_TRUE(whole_column(*column, n));

  RunReport failed = read("data_single_x/trov.json");
  EXPECT_FALSE(failed.has_results());
  ASSERT_TRUE(failed.error);
  EXPECT_EQ(failed.error->code, 7);
  EXPECT_EQ(failed.error->message.at(0), "Error: X has no variance: every case has the same trait value");
}

// A fixed lambda whose converged fit failed has null gradients and linear_limit: its classic fit is
// still there to plot (a null linear_limit once made the whole file unread).
TEST(run_report_test, a_fixed_lambda_without_converged_fit_keeps_its_classic_fit) {
  const auto path =
      std::filesystem::temp_directory_path() / ("trovwin_report_" + std::to_string(getpid()) + ".json");
  std::ofstream(path) << R"({"status": "ok", "settings": {"covariates": 0, "categorical": false, "lmin": 2.0,
      "model": "binomial", "bootstrap_replicates": 0, "data_file": "d.dat"}, "data": {"cases": 1,
      "observations": 1}, "warnings": ["selection_not_converged: the converged fit did not end ok"],
      "grid": [{"lnlambda": 2.0, "trace": 2.24, "converged_fit": {"edf": null}}],
      "fit": {"points": [{"x": 1, "y": 0, "n": 1, "yhat": 0.3}], "converged_points": null},
      "selection": {"beta": null, "gamma": null, "linear_limit": null, "mean_fitness": null}})";
  const RunReport report = read_run_report(path.string());
  std::filesystem::remove(path);
  ASSERT_EQ(report.read, RunReport::Read::whole);
  ASSERT_TRUE(report.fit && report.selection);
  EXPECT_FALSE(report.fit->converged_points);
  EXPECT_EQ(report.fit->points.yhat, std::vector<double>{0.3});
  EXPECT_TRUE(std::isnan(report.selection->gamma.value));
  EXPECT_EQ(fixed_lambda_edf(report), 2.24);  // the classic fit's, which is drawn
  EXPECT_EQ(report.warnings.at(0).kind, "selection_not_converged");
  const RunDetails run = run_details(report);
  ASSERT_TRUE(run.read) << run.unread;
  EXPECT_EQ(run.classic, std::vector<double>{0.3});
  EXPECT_TRUE(run.converged.empty() && !run.gamma);
}

}  // namespace
}  // namespace trov::front
