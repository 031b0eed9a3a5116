// The converged fits in trov.json of whole runs: a grid, a fixed lambda and a covariate run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "engine/program/run.h"

namespace trov {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// A binomial run of the shipped data over nstep lambdas from lmin to lmax, without or with the categorical
// covariate of covariate.dat, or of the data `lines` in place of demo1.dat.
Json run(const std::string& nstep, const std::string& lmin, const std::string& lmax, bool covariate,
         const std::string& lines = "") {
  const fs::path dir = fs::temp_directory_path() / ("trov_converged_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const char* source = std::getenv("TROV_SOURCE_DIR");
  const std::string data = covariate ? "covariate.dat" : "demo1.dat";
  fs::copy_file(fs::path(source) / "examples" / data, dir / data, fs::copy_options::overwrite_existing);
  if (!lines.empty()) std::ofstream(dir / data) << lines;
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  std::istringstream parameters("10\n" + std::string(covariate ? "1\n1\n" : "0\n0\n") + nstep + "\n" + lmin +
                                "\n" + lmax + "\n5\n0.005\n2\n2\n0\n2387498\n" + data + "\n");
  testing::internal::CaptureStdout();
  run_engine(parameters);
  testing::internal::GetCapturedStdout();
  Json report = Json::parse(std::ifstream("trov.json"));
  fs::current_path(before);
  fs::remove_all(dir);
  return report;
}

TEST(converged_report_test, a_grid_carries_converged_scores_refined_minima_and_the_differences) {
  const Json report = run("5", "-3", "5", false);
  for (const Json& row : report["grid"]) {
    const Json& converged = row["converged_fit"];
    EXPECT_TRUE(converged["ok"].get<bool>()) << row;
    for (const char* field : {"edf", "gcv", "ocv", "ubre", "deviance", "reml", "ml"})
      EXPECT_TRUE(converged[field].is_number());
    EXPECT_GE(converged["iterations"].get<int>(), 1);
  }
  for (const char* score :
       {"converged_gcv", "converged_ocv", "converged_ubre", "converged_reml", "converged_ml"}) {
    const Json& minimum = report["minimum"][score];
    const double row = minimum["lnlambda"].get<double>(),
                 refined = minimum["refined"]["lnlambda"].get<double>();
    EXPECT_LE(std::abs(refined - row), 1.0) << score;
    EXPECT_LE(minimum["refined"]["score"].get<double>(), minimum["score"].get<double>()) << score;
  }
  // At ln(lambda) -3 and -1 five classic iterations stop short of the maximum.
  EXPECT_EQ(report["diagnostics"]["classic_differs"], Json::array({-3.0, -1.0}));
  EXPECT_EQ(report["diagnostics"]["classic_gcv_minimum_differs"], false);
  EXPECT_EQ(
      report["warnings"][0],
      "classic_differs: at ln(lambda) = -3 the classic fit differs from the penalized maximum by up to "
      "0.0472 in a fitted probability, and by more than 0.01 at 2 of the lambdas: its limits and iterations "
      "stop short of the maximum; report the converged fit");
  const Json& recommended = report["minimum"]["recommended"];
  EXPECT_EQ(recommended["criterion"], "reml");
  EXPECT_EQ(recommended["lnlambda"], report["minimum"]["converged_reml"]["refined"]["lnlambda"]);
}

TEST(converged_report_test, a_fixed_lambda_carries_the_converged_points_and_coefficients) {
  const Json plain = run("1", "-1", "2", false);
  ASSERT_EQ(plain["fit"]["converged_points"].size(), plain["fit"]["points"].size());
  EXPECT_TRUE(plain["fit"]["converged_points"][0]["nu"].is_number());
  EXPECT_FALSE(plain["fit"].contains("converged_coefficients"));
  EXPECT_FALSE(plain.contains("minimum"));

  const Json covariate = run("1", "-1", "2", true);
  const Json& fit = covariate["fit"];
  ASSERT_EQ(fit["converged_coefficients"].size(), fit["coefficients"].size());
  EXPECT_EQ(fit["converged_coefficients"][0], 0.0);
  EXPECT_EQ(fit["converged_points"].size(), fit["points"].size());
  const Json& row = covariate["grid"][0]["converged_fit"];
  EXPECT_TRUE(row["ocv"].is_null());
  EXPECT_GT(row["edf"].get<double>(),
            covariate["grid"][0]["trace"].get<double>());  // with the levels' columns

  // The gradients come from the converged fit (at ln(lambda) = -1 the classic one stops short of it):
  // mean fitness is the N-weighted mean of each fit's fitted values.
  for (const Json* report : {&plain, &covariate}) {
    const Json& selection = (*report)["selection"];
    const Json &points = (*report)["fit"]["points"], &converged = (*report)["fit"]["converged_points"];
    double cases = 0, converged_sum = 0, classic_sum = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const double n = points[i]["n"].get<double>();
      cases += n;
      converged_sum += n * converged[i]["yhat"].get<double>();
      classic_sum += n * points[i]["yhat"].get<double>();
    }
    EXPECT_NEAR(selection["mean_fitness"].get<double>(), converged_sum / cases, 1e-12);
    EXPECT_NEAR(selection["classic"]["mean_fitness"].get<double>(), classic_sum / cases, 1e-9);
    EXPECT_GT(std::abs(selection["beta"].get<double>() - selection["classic"]["beta"].get<double>()), 1e-4);
    EXPECT_TRUE(selection["lande_arnold"]["gamma"].is_number());
  }
}

TEST(converged_report_test, without_a_converged_fit_the_gradients_are_null_and_the_classic_ones_stay) {
  std::string separated;  // 0 below 10, 1 above: the penalized likelihood has no maximum
  for (int x = 0; x < 20; ++x) separated += (x < 10 ? "0 " : "1 ") + std::to_string(x) + "\n";
  const Json report = run("1", "0", "2", false, separated);
  ASSERT_FALSE(report["grid"][0]["converged_fit"]["ok"].get<bool>());
  const Json& selection = report["selection"];
  for (const char* field : {"mean_fitness", "beta", "gamma", "beta_standardized", "gamma_standardized"}) {
    EXPECT_TRUE(selection[field].is_null()) << field;
    EXPECT_TRUE(selection["classic"][field].is_number()) << field;
  }
  EXPECT_TRUE(selection["beta_mean_standardized"].is_null());
  EXPECT_TRUE(selection["classic"]["beta_mean_standardized"].is_null());  // a trait value at 0
  bool warned = false;
  for (const Json& line : report["warnings"])
    warned |= line.get<std::string>().starts_with("selection_not_converged");
  EXPECT_TRUE(warned) << report["warnings"];
}

}  // namespace
}  // namespace trov
