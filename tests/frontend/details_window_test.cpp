#include "frontend/details_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace trov::front {
namespace {

std::string fixture(const std::string& name) {
  return std::string(std::getenv("TROV_SOURCE_DIR")) + "/tests/frontend/fixtures/" + name;
}

// The details hold what the plot leaves out: the classic fits' warnings apart, a kind this program does
// not know as it comes, the dispersion, and gamma at the linear limit without a P.
TEST(details_window_test, the_details_tell_every_warning_by_its_kind) {
  EXPECT_EQ(
      details_text(fixture("grid_classic_stopped.json")),
      "Data: small.dat, poisson model, 40 cases (40 observations)\n"
      "Run: a grid of 11 values of ln(lambda) from -10 to 10\n"
      "Answer: REML finds no curvature: the fitness function is a straight line on the log scale (from "
      "ln(lambda) = 10.00 on, 2.00 parameters); report the directional gradient\n"
      "Classic GCV minimum: ln(lambda) = -6\n"
      "The classic table of trov.out stopped at ln(lambda) = -4 (Program crashed (GLM weight is zero)); "
      "the plot shows the converged fits\n"
      "Dispersion (Pearson, converged fit): 1.04\n"
      "\nAbout the classic fits, whose numbers trov.out prints (the plot shows the converged fits):\n"
      "  classic_inaccurate: the classic fits at ln(lambda) = -10, -8 are inaccurate (their smoother loses "
      "digits); report the converged fits\n"
      "  not_converged: the classic fits at ln(lambda) = -10, -8, -6 stopped at maxit = 5 before "
      "converging; report the converged fits of trov.json, which do not depend on maxit\n"
      "\nOther warnings:\n"
      "  lunar_phase: a kind of warning this front end does not know\n");
  const std::string boot = details_text(fixture("boot_linear_overdispersed.json"));
  EXPECT_NE(boot.find("Run: ln(lambda) = 2.96, "), std::string::npos) << boot;
  EXPECT_NE(boot.find("Dispersion (Pearson, converged fit): 2.44, overdispersed\n"), std::string::npos);
  EXPECT_NE(boot.find("gamma = 0.0374: link only (no curvature found)"), std::string::npos);
  EXPECT_NE(boot.find("beta = 0.159 (SE 0.0686, P = 0.0952)"), std::string::npos);
  EXPECT_EQ(details_text("no/such/trov.json"), "No details: the engine wrote no no/such/trov.json.\n");
}

}  // namespace
}  // namespace trov::front
