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

TEST(links_test, ytonu_is_the_link_of_the_limited_mean) {
  EXPECT_EQ(limit_mean(0, Model::binomial), kMinMean);
  EXPECT_NEAR(ytonu(0, Model::binomial), -16.1181, 1e-4);
  EXPECT_EQ(limit_mean(1, Model::binomial), kMaxBinomialMean);
  EXPECT_EQ(ytonu(1, Model::binomial), std::log(kMaxBinomialMean / (1 - kMaxBinomialMean)));
  EXPECT_NEAR(ytonu(1, Model::binomial), std::log(8388607.0), 1e-9);
  EXPECT_EQ(limit_mean(-3, Model::poisson), kMinMean);
  EXPECT_NEAR(ytonu(-3, Model::poisson), -16.1181, 1e-4);
  EXPECT_EQ(limit_mean(2e7, Model::poisson), 1e7);
  EXPECT_NEAR(ytonu(2e7, Model::poisson), 16.1181, 1e-4);
  // inside the bounds: unchanged; the comparisons are strict
  EXPECT_EQ(ytonu(0.25, Model::binomial), std::log(0.25 / 0.75));
  EXPECT_EQ(ytonu(0.25, Model::poisson), std::log(0.25));
  for (double y : {kMinMean, 1 - kMinMean}) EXPECT_EQ(limit_mean(y, Model::binomial), y);
  ASSERT_FALSE(1 - (1 - kMinMean) < kMinMean);
  EXPECT_EQ(limit_mean(1e7, Model::poisson), 1e7);
  EXPECT_EQ(ytonu(5, Model::poisson), std::log(5.0));  // the log link has no upper bound near 1
  // limiting a limited mean changes nothing, so callers may limit first and convert after
  for (double y : {0.0, 1.0, 2e7})
    for (Model model : {Model::binomial, Model::poisson})
      EXPECT_EQ(limit_mean(limit_mean(y, model), model), limit_mean(y, model));
}

TEST(links_test, nutoy_and_phi2_take_nu_limited_to_16) {
  EXPECT_NEAR(nutoy(20, Model::binomial), 0.99999988746, 1e-11);
  EXPECT_EQ(nutoy(20, Model::binomial), nutoy(16, Model::binomial));
  EXPECT_NEAR(nutoy(-20, Model::poisson), 1.1253517e-7, 1e-13);
  EXPECT_EQ(phi2(30, Model::poisson), std::exp(16.0));
  const double mean = std::exp(-16.0) / (1 + std::exp(-16.0));
  EXPECT_EQ(phi2(-30, Model::binomial), mean * (1 - mean));
  for (double edge : {16.0, -16.0, 0.5}) EXPECT_EQ(nutoy(edge, Model::poisson), std::exp(edge));
}

// The converged fits' inverse link: no limits, and the binomial mean accurate in both tails.
TEST(links_test, mean_at_eta_is_unlimited_and_accurate_in_the_tails) {
  EXPECT_EQ(mean_at_eta(0, Model::binomial), 0.5);
  EXPECT_NEAR(mean_at_eta(-30, Model::binomial) / std::exp(-30.0), 1, 1e-12);  // beyond nutoy's 16
  EXPECT_NEAR((1 - mean_at_eta(20, Model::binomial)) / std::exp(-20.0), 1, 1e-6);
  EXPECT_EQ(binomial_tails(-30).smaller, binomial_tails(30).smaller);
  EXPECT_EQ(mean_at_eta(-800, Model::binomial), 0);
  EXPECT_EQ(mean_at_eta(-INFINITY, Model::binomial), 0);
  EXPECT_EQ(mean_at_eta(INFINITY, Model::binomial), 1);
  EXPECT_EQ(mean_at_eta(INFINITY, Model::poisson), INFINITY);
  EXPECT_EQ(mean_at_eta(20, Model::poisson), std::exp(20.0));
  EXPECT_EQ(mean_at_eta(-2.5, Model::normal), -2.5);
  EXPECT_TRUE(std::isnan(mean_at_eta(NAN, Model::binomial)));
}

// The array form must give nutoy's bits exactly, limit nu in place the same way and touch only the
// first n entries.
TEST(links_test, nutoy_each_matches_nutoy_bit_for_bit) {
  const std::vector<double> values = {-30, -16.000000000000004, -16, -3.25, -0.0, 0.0, 1e-300, 0.1,
                                      2.5, 15.999999999999998,  16,  16.5,  700,  NAN};
  for (Model model : {Model::binomial, Model::poisson}) {
    const int n = static_cast<int>(values.size());
    std::vector<double> nu = values;
    nu.push_back(99);  // beyond n: left alone
    std::vector<double> mean(n + 1, -1);
    nutoy_each(nu, mean, n, model);
    for (int i = 0; i < n; ++i) {
      const double expected_nu = limit_nu(values[i]);
      const double expected_mean = nutoy(values[i], model);
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
  for (double y : {0.001, 0.3, 0.999})
    EXPECT_NEAR(nutoy(ytonu(y, Model::binomial), Model::binomial), y, 1e-15);
  // nu about -15.7: inside
  EXPECT_NEAR(nutoy(ytonu(1e-7 * 1.5, Model::poisson), Model::poisson), 1.5e-7, 1e-20);
  // the limited mean of 0 lies beyond nu = -16: comes back as the mean at -16
  EXPECT_EQ(nutoy(ytonu(0, Model::poisson), Model::poisson), std::exp(-16.0));
}

TEST(links_test, penlik_is_the_penalized_log_likelihood) {
  // Binomial: 2 (0.5*0 - ln 2) + 1 (1*ln 3 - ln 4) - 0.5*1
  const std::vector<double> y{0.5, 1.0}, nu{0.0, std::log(3.0)};
  const std::vector<int> irep{2, 1};
  EXPECT_DOUBLE_EQ(penlik(y, irep, nu, 1.0, Model::binomial, 0.5),
                   -2 * std::log(2.0) + std::log(3.0) - std::log(4.0) - 0.5);
  // Poisson: 3 (2*0 - 1) - 2*0.25 = -3.5
  EXPECT_EQ(penlik(std::vector<double>{2.0}, std::vector<int>{3}, std::vector<double>{0.0}, 0.25,
                   Model::poisson, 2.0),
            -3.5);
}

}  // namespace
}  // namespace trov
