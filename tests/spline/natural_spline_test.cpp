#include "engine/spline/natural_spline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
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

TEST(natural_spline_test, values_are_the_spline_between_the_knots_and_its_lines_beyond_them) {
  const std::vector<double> x = {0.5, 1.25, 2.0, 4.0, 4.5}, y = {1.0, -0.5, 0.25, 2.0, 1.5};
  const test::TruncatedPowerSpline reference(x, y);
  const std::vector<double> at = {-3.0, 0.5, 0.9, 1.25, 3.1, 4.5, 9.0};
  const std::vector<double> values = natural_spline_values(x, y, at);
  for (std::size_t j = 0; j < at.size(); ++j) EXPECT_NEAR(values[j], reference.value(at[j]), 1e-12) << at[j];
  EXPECT_EQ(values[3], y[1]);
  // infinite trait values: the end lines' limits, the end value of a flat line; NaN stays NaN
  const double inf = INFINITY;
  const std::vector<double> limits = natural_spline_values(x, y, std::vector<double>{-inf, inf, NAN});
  EXPECT_EQ(limits[0], reference.slope(x[0]) > 0 ? -inf : inf);
  EXPECT_EQ(limits[1], reference.slope(x[4]) > 0 ? inf : -inf);
  EXPECT_TRUE(std::isnan(limits[2]));
  EXPECT_EQ(natural_spline_values(x, std::vector<double>(5, 0.5), std::vector<double>{inf})[0], 0.5);
  EXPECT_THROW(natural_spline_values(std::vector<double>{1, 1}, std::vector<double>{0, 0}, at),
               std::invalid_argument);
}

}  // namespace
}  // namespace trov
