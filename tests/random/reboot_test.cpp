#include "engine/covariate/reboot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/random/sample_moments.h"

namespace trov {
namespace {

using test::expect_mean_and_variance;

constexpr Model kNormal = Model::normal;
constexpr Model kBinomial = Model::binomial;
constexpr Model kPoisson = Model::poisson;

// Draws `replicates` replicates and collects the values of each point.
std::vector<std::vector<double>> draw_replicates(std::vector<double> y, const std::vector<double>& sy,
                                                 const std::vector<float>& syold,
                                                 const std::vector<int>& irep, Model model, int replicates,
                                                 RebootState& state) {
  const int n = static_cast<int>(y.size());
  std::vector<std::vector<double>> values(n, std::vector<double>(replicates));
  for (int r = 0; r < replicates; ++r) {
    reboot(y, sy, syold, irep, n, model, state);
    for (int i = 0; i < n; ++i) values[i][r] = y[i];
  }
  return values;
}

TEST(reboot_test, residual_variance_is_computed_once) {
  // sum irep (sy - y)^2 / sum irep = (1*1 + 2*0 + 1*4) / 4
  std::vector<double> y = {1.0, 2.0, 4.0};
  std::vector<double> sy = {2.0, 2.0, 2.0};
  const std::vector<float> syold = {2.0f, 2.0f, 2.0f};
  const std::vector<int> irep = {1, 2, 1};
  RebootState state(1);
  reboot(y, sy, syold, irep, 3, kNormal, state);
  EXPECT_EQ(state.first_call, 1);
  EXPECT_EQ(state.variance, 1.25f);

  y = {10.0, -10.0, 0.0};
  sy = {0.0, 0.0, 0.0};
  reboot(y, sy, syold, irep, 3, kNormal, state);
  EXPECT_EQ(state.variance, 1.25f);
}

// Residual variance (10 + 4 * 2.5) / 5 = 4: a single case draws with sd 2, a point of 4 cases with sd 1.
TEST(reboot_test, normal_replicates_scatter_by_the_sd_of_a_mean) {
  const std::vector<double> y = {0.0, 0.0};
  const std::vector<double> sy = {std::sqrt(10.0), std::sqrt(2.5)};
  const std::vector<float> syold = {3.0f, -1.0f};
  const std::vector<int> irep = {1, 4};
  RebootState state(2387498);
  const auto values = draw_replicates(y, sy, syold, irep, kNormal, 50000, state);
  EXPECT_NEAR(state.variance, 4.0f, 1e-5f);
  expect_mean_and_variance(values[0], 3.0, 4.0);
  expect_mean_and_variance(values[1], -1.0, 1.0);
}

// With one point a replicate uses half a pair; the next replicate takes the waiting deviate.
TEST(reboot_test, waiting_normal_deviate_carries_to_the_next_replicate) {
  std::vector<double> y = {1.0};
  const std::vector<double> sy = {2.0};
  const std::vector<float> syold = {2.0f};
  const std::vector<int> irep = {1};
  RebootState state(5);
  std::int32_t& seed = state.seed;
  reboot(y, sy, syold, irep, 1, kNormal, state);
  EXPECT_EQ(state.gauss.nrn, 1);
  const std::int32_t after_first = seed;
  const float waiting = state.gauss.rnn2;
  reboot(y, sy, syold, irep, 1, kNormal, state);
  EXPECT_EQ(seed, after_first);
  EXPECT_EQ(y[0], static_cast<double>(waiting) + 2.0);  // variance 1, so sd 1
}

TEST(reboot_test, binomial_replicates_are_proportions_of_irep) {
  const std::vector<double> y = {0.0, 1.0};
  const std::vector<double> sy = {0.5, 0.5};
  const std::vector<float> syold = {0.5f, 0.5f};
  const std::vector<int> irep = {10, 100};  // Bernoulli trials, then the normal approximation
  RebootState state(13);
  const auto values = draw_replicates(y, sy, syold, irep, kBinomial, 20000, state);
  for (int i = 0; i < 2; ++i) {
    for (double v : values[i]) {
      const double count = v * irep[i];
      ASSERT_NEAR(count, std::round(count), 1e-9);
      ASSERT_GE(v, 0.0);
      ASSERT_LE(v, 1.0);
    }
  }
  expect_mean_and_variance(values[0], 0.5, 0.25 / 10);
  expect_mean_and_variance(values[1], 0.5, (25.0 + 1.0 / 12.0) / (100.0 * 100.0));
}

TEST(reboot_test, poisson_replicates_are_rates_per_case) {
  const std::vector<double> y = {1.0, 3.0};
  const std::vector<double> sy = {2.0, 2.0};
  const std::vector<float> syold = {2.0f, 2.0f};
  const std::vector<int> irep = {3, 1};
  RebootState state(17);
  const auto values = draw_replicates(y, sy, syold, irep, kPoisson, 50000, state);
  std::vector<double> counts;
  for (double v : values[0]) {
    counts.push_back(v * 3.0);
    ASSERT_NEAR(counts.back(), std::round(counts.back()), 1e-9);
  }
  expect_mean_and_variance(counts, 6.0, 6.0);  // mean irep * syold
  expect_mean_and_variance(values[1], 2.0, 2.0);
}

// A point of two billion cases with a mean of 4 expects 8e9 events: more than an int holds.
TEST(reboot_test, poisson_counts_beyond_the_int_range) {
  std::vector<double> y = {1.0};
  const std::vector<double> sy = {4.0};
  const std::vector<float> syold = {4.0f};
  const std::vector<int> irep = {2000000000};
  RebootState state(99);
  reboot(y, sy, syold, irep, 1, kPoisson, state);
  EXPECT_NEAR(y[0], 4.0, 1e-3);
}

// Points are drawn in order from one stream: Bernoulli points use exactly irep uniforms each, and the
// same seed reproduces the same replicate.
TEST(reboot_test, one_stream_reproducible_from_the_seed) {
  std::vector<double> y = {0.0, 1.0, 1.0};
  const std::vector<double> sy = {0.3, 0.5, 0.9};
  const std::vector<float> syold = {0.3f, 0.5f, 0.9f};
  const std::vector<int> irep = {10, 5, 7};
  RebootState state(4711);
  std::int32_t& seed = state.seed;
  std::int32_t expected_seed = seed;
  for (int k = 0; k < 22; ++k) uniran(expected_seed);
  reboot(y, sy, syold, irep, 3, kBinomial, state);
  EXPECT_EQ(seed, expected_seed);

  std::vector<double> again = {0.0, 1.0, 1.0};
  RebootState other(4711);
  reboot(again, sy, syold, irep, 3, kBinomial, other);
  EXPECT_EQ(again, y);
}

}  // namespace
}  // namespace trov
