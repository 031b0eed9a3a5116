#include "engine/spline/natural_spline.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/spline/truncated_power.h"

namespace trov {
namespace {

TEST(natural_spline_test, derivatives_match_a_dense_solve_in_another_basis) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> gap(0.1, 1.0), value(-2.0, 2.0);
  for (int n : {2, 3, 4, 9}) {
    std::vector<double> x, y;
    double position = 0;
    for (int i = 0; i < n; ++i) {
      position += gap(rng);
      x.push_back(position);
      y.push_back(value(rng));
    }
    std::vector<double> slope(n), curvature(n);
    NaturalSpline(x).derivatives(y, slope, curvature);
    const test::TruncatedPowerSpline reference(x, y);
    std::vector<double> alone(n);
    NaturalSpline(x).curvatures(y, alone);
    EXPECT_EQ(alone, curvature);
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(slope[i], reference.slope(x[i]), 1e-9) << "n " << n << ", knot " << i;
      EXPECT_NEAR(curvature[i], reference.curvature(x[i]), 1e-9) << "n " << n << ", knot " << i;
    }
  }
}

}  // namespace
}  // namespace trov
