#include "frontend/run_details.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
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
  }
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
