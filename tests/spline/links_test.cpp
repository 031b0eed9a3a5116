#include "engine/spline/links.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace trov {
namespace {

const double kMinMean = static_cast<double>(1e-7f);  // the single-precision 1e-7, widened
constexpr double kMaxBinomialMean = 1 - 0x1p-23;

TEST(links_test, clamp_constants_are_the_single_precision_values) {
  EXPECT_EQ(kMinMean, 1.0000000116860974e-7);
  EXPECT_EQ(kMaxBinomialMean, 0.99999988079071044921875);
}

TEST(links_test, ytonu_clamps_the_mean_in_place) {
  double y = 0;
  EXPECT_NEAR(ytonu(y, Model::binomial), -16.1181, 1e-4);
  EXPECT_EQ(y, kMinMean);

  y = 1;
  EXPECT_EQ(ytonu(y, Model::binomial), std::log(kMaxBinomialMean / (1 - kMaxBinomialMean)));
  EXPECT_EQ(y, kMaxBinomialMean);
  EXPECT_NEAR(ytonu(y, Model::binomial), std::log(8388607.0), 1e-9);

  y = -3;
  EXPECT_NEAR(ytonu(y, Model::poisson), -16.1181, 1e-4);
  EXPECT_EQ(y, kMinMean);

  y = 2e7;
  EXPECT_NEAR(ytonu(y, Model::poisson), 16.1181, 1e-4);
  EXPECT_EQ(y, 1e7);

  y = 0.25;  // inside the bounds: unchanged
  EXPECT_EQ(ytonu(y, Model::binomial), std::log(0.25 / 0.75));
  EXPECT_EQ(y, 0.25);
  EXPECT_EQ(ytonu(y, Model::poisson), std::log(0.25));
}

TEST(links_test, ytonu_comparisons_are_strict) {
  double y = kMinMean;
  ytonu(y, Model::binomial);
  EXPECT_EQ(y, kMinMean);
  y = 1 - kMinMean;  // 1 - y is not below the smallest mean
  ASSERT_FALSE(1 - y < kMinMean);
  ytonu(y, Model::binomial);
  EXPECT_EQ(y, 1 - kMinMean);
  y = 1e7;
  ytonu(y, Model::poisson);
  EXPECT_EQ(y, 1e7);
  y = 5;  // the log link has no upper bound near 1
  EXPECT_EQ(ytonu(y, Model::poisson), std::log(5.0));
  EXPECT_EQ(y, 5);
}

TEST(links_test, nutoy_and_phi2_clamp_nu_in_place) {
  double nu = 20;
  EXPECT_NEAR(nutoy(nu, Model::binomial), 0.99999988746, 1e-11);
  EXPECT_EQ(nu, 16);

  nu = -20;
  EXPECT_NEAR(nutoy(nu, Model::poisson), 1.1253517e-7, 1e-13);
  EXPECT_EQ(nu, -16);

  nu = 30;
  EXPECT_EQ(phi2(nu, Model::poisson), std::exp(16.0));
  EXPECT_EQ(nu, 16);

  nu = -30;
  const double mean = std::exp(-16.0) / (1 + std::exp(-16.0));
  EXPECT_EQ(phi2(nu, Model::binomial), mean * (1 - mean));
  EXPECT_EQ(nu, -16);

  for (double edge : {16.0, -16.0, 0.5}) {  // strict: +-16 stays as it is
    nu = edge;
    EXPECT_EQ(nutoy(nu, Model::poisson), std::exp(edge));
    EXPECT_EQ(nu, edge);
  }
}

// The array form must give nutoy's bits exactly, limit nu in place the same way and touch only the
// first n entries.
TEST(links_test, nutoy_each_matches_nutoy_bit_for_bit) {
  const std::vector<double> values = {-30, -16.000000000000004, -16, -3.25, -0.0, 0.0, 1e-300, 0.1,
                                      2.5, 15.999999999999998, 16, 16.5, 700, NAN};
  for (Model model : {Model::binomial, Model::poisson}) {
    const int n = static_cast<int>(values.size());
    std::vector<double> nu = values;
    nu.push_back(99);  // beyond n: left alone
    std::vector<double> mean(n + 1, -1);
    nutoy_each(nu, mean, n, model);
    for (int i = 0; i < n; ++i) {
      double expected_nu = values[i];
      const double expected_mean = nutoy(expected_nu, model);
      EXPECT_EQ(std::signbit(nu[i]), std::signbit(expected_nu)) << i;
      if (std::isnan(expected_mean)) {
        EXPECT_TRUE(std::isnan(mean[i]) && std::isnan(nu[i])) << i;
      } else {
        EXPECT_EQ(nu[i], expected_nu) << i;
        EXPECT_EQ(mean[i], expected_mean) << i;
      }
    }
    EXPECT_EQ(nu[n], 99);
    EXPECT_EQ(mean[n], -1);
  }
}

TEST(links_test, round_trip_returns_the_mean_inside_the_nu_bounds) {
  for (double y : {0.001, 0.3, 0.999}) {
    double mean = y;
    double nu = ytonu(mean, Model::binomial);
    EXPECT_NEAR(nutoy(nu, Model::binomial), y, 1e-15);
  }
  double mean = 1e-7 * 1.5;  // nu about -15.7: inside
  double nu = ytonu(mean, Model::poisson);
  EXPECT_NEAR(nutoy(nu, Model::poisson), 1.5e-7, 1e-20);
  mean = 0;  // clamped mean lies beyond nu = -16: comes back as the mean at -16
  nu = ytonu(mean, Model::poisson);
  EXPECT_EQ(nutoy(nu, Model::poisson), std::exp(-16.0));
}

TEST(links_test, penlik_is_the_penalized_log_likelihood) {
  // Binomial: 2 (0.5*0 - ln 2) + 1 (1*ln 3 - ln 4) - 0.5*1
  const std::vector<double> y{0.5, 1.0}, nu{0.0, std::log(3.0)};
  const std::vector<int> irep{2, 1};
  EXPECT_DOUBLE_EQ(penlik(y, irep, nu, 1.0, Model::binomial, 0.5),
                   -2 * std::log(2.0) + std::log(3.0) - std::log(4.0) - 0.5);
  // Poisson: 3 (2*0 - 1) - 2*0.25 = -3.5
  EXPECT_EQ(penlik(std::vector<double>{2.0}, std::vector<int>{3}, std::vector<double>{0.0}, 0.25, Model::poisson, 2.0),
            -3.5);
}

}  // namespace
}  // namespace trov
