// The converged fits in trov.json of whole runs: a grid, a fixed lambda and a covariate run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "engine/driver/run.h"

namespace trov {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// A binomial run of the shipped data over nstep lambdas from lmin to lmax, without or with the categorical
// covariate of covariate.dat.
Json run(const std::string& nstep, const std::string& lmin, const std::string& lmax, bool covariate) {
  const fs::path dir = fs::temp_directory_path() / ("trov_converged_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const char* source = std::getenv("TROV_SOURCE_DIR");
  const std::string data = covariate ? "covariate.dat" : "demo1.dat";
  fs::copy_file(fs::path(source) / "examples" / data, dir / data, fs::copy_options::overwrite_existing);
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
    for (const char* field : {"edf", "gcv", "ocv", "ubre", "deviance"})
      EXPECT_TRUE(converged[field].is_number());
    EXPECT_GE(converged["iterations"].get<int>(), 1);
  }
  for (const char* score : {"converged_gcv", "converged_ubre"}) {
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
      "0.0472 in a fitted probability, and by more than 0.01 at 2 of the lambdas: its iterations stopped "
      "before converging; report the converged fit or raise maxit");
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
}

}  // namespace
}  // namespace trov
