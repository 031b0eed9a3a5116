#include "engine/covariate/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "tests/random/sample_moments.h"

namespace trov {
namespace {

using test::expect_mean_and_variance;

constexpr std::int64_t modulus = 2147483647;
constexpr std::int64_t multiplier = 630360016;

std::int64_t power_mod(std::int64_t base, std::int64_t exponent) {
  std::int64_t result = 1;
  base %= modulus;
  for (; exponent > 0; exponent /= 2) {
    if (exponent % 2 == 1) result = result * base % modulus;
    base = base * base % modulus;
  }
  return result;
}

// Number of uniforms drawn between two states of one stream (-1 if more than limit).
int uniforms_between(std::int32_t before, std::int32_t after, int limit = 10000) {
  for (int k = 0; k <= limit; ++k) {
    if (before == after) return k;
    uniran(before);
  }
  return -1;
}

TEST(uniran_test, states_and_uniforms_from_seed_one) {
  std::int32_t seed = 1;
  EXPECT_EQ(uniran(seed), 0.29353422f);
  EXPECT_EQ(seed, 630360016);
  EXPECT_EQ(uniran(seed), 0.72132581f);
  EXPECT_EQ(seed, 1549035330);
  EXPECT_EQ(uniran(seed), 0.12322372f);
  EXPECT_EQ(seed, 264620982);
}

TEST(uniran_test, largest_state_steps_without_overflow) {
  std::int32_t seed = 2147483646;
  uniran(seed);
  EXPECT_EQ(seed, 1517123631);
}

// Each state is the exact product 630360016 z mod (2^31 - 1), also near the ends of the range and the
// splitting points of the 16-bit halves; the sanitizer build catches any signed overflow on the way.
TEST(uniran_test, states_are_the_exact_modular_product) {
  std::vector<std::int32_t> seeds = {1,     2,          32767,      32768,      65535,      65536,
                                     65537, 1073741823, 1073741824, 2147418112, 2147483645, 2147483646};
  std::int32_t stream = 12345;
  for (int i = 0; i < 2000; ++i) {
    seeds.push_back(stream);
    uniran(stream);
  }
  for (std::int32_t s : seeds) {
    std::int32_t seed = s;
    const float u = uniran(seed);
    EXPECT_EQ(seed, static_cast<std::int64_t>(s) * multiplier % modulus) << "from " << s;
    EXPECT_GT(u, 0.0f);
    EXPECT_LT(u, 1.0f);
  }
}

TEST(uniran_test, extreme_uniforms_stay_inside_the_open_interval) {
  const std::int64_t inverse = power_mod(multiplier, modulus - 2);  // state that leads to 1
  std::int32_t seed = static_cast<std::int32_t>(inverse);
  EXPECT_EQ(uniran(seed), std::ldexp(1.0f, -24));
  EXPECT_EQ(seed, 1);
  seed = static_cast<std::int32_t>(modulus - inverse);  // leads to 2^31 - 2, the largest state
  EXPECT_EQ(uniran(seed), 1.0f - std::ldexp(1.0f, -24));
  EXPECT_EQ(seed, 2147483646);
}

TEST(gauss_test, second_call_of_a_pair_takes_the_waiting_deviate) {
  std::int32_t seed = 987654;
  GaussCache cache;
  gauss(0.0f, 1.0f, seed, cache);
  EXPECT_EQ(cache.nrn, 1);
  const std::int32_t after_pair = seed;
  const float waiting = cache.rnn2;

  // The waiting deviate is scaled by the mean and sd of the call that takes it; no uniform is drawn.
  EXPECT_EQ(gauss(5.0f, 2.0f, seed, cache), 5.0f + waiting * 2.0f);
  EXPECT_EQ(seed, after_pair);
  EXPECT_EQ(cache.nrn, 0);

  gauss(0.0f, 1.0f, seed, cache);  // a new pair: at least two uniforms
  EXPECT_GE(uniforms_between(after_pair, seed), 2);
}

TEST(gauss_test, draws_have_the_mean_and_variance_asked_for) {
  std::int32_t seed = 2387498;
  GaussCache cache;
  std::vector<double> v(200000);
  int beyond_two_sd = 0;
  for (double& x : v) {
    x = gauss(2.0f, 3.0f, seed, cache);
    if (std::abs(x - 2.0) > 1.959964 * 3.0) ++beyond_two_sd;
  }
  expect_mean_and_variance(v, 2.0, 9.0);
  // The tails of a normal: 5 % beyond 1.96 sd (binomial standard error 0.05 %).
  EXPECT_NEAR(beyond_two_sd / 200000.0, 0.05, 0.0025);
}

// Streams from seed 1 as given by an independent model of the generators written in another language,
// rounding every intermediate to a 32-bit real: these pin down the single-precision arithmetic and the
// order of the draws, which moments cannot see.
TEST(random_streams_test, seed_one_reproduces_reference_draws) {
  std::int32_t seed = 1;
  GaussCache cache;
  const std::vector<float> normal = {-0.966553688f, 1.03611982f,  -0.5151034f,
                                     -0.346467614f, 0.290950447f, 0.205682188f};
  for (float expected : normal) EXPECT_EQ(gauss(0.0f, 1.0f, seed, cache), expected);
  EXPECT_EQ(seed, 1674201058);

  seed = 1;
  const std::vector<int> small_mean = {3, 8, 6, 3, 6, 5, 3, 4, 0, 3, 8, 5, 3, 4, 2, 7, 3, 7, 2, 3};
  for (int expected : small_mean) EXPECT_EQ(ipoiss(5.0f, seed), expected);
  EXPECT_EQ(seed, 395252378);

  seed = 1;
  const std::vector<int> large_mean = {33, 27, 31, 27, 31, 38, 33, 28, 37, 30,
                                       31, 35, 24, 33, 28, 27, 31, 24, 37, 45};
  for (int expected : large_mean) EXPECT_EQ(ipoiss(30.0f, seed), expected);
  EXPECT_EQ(seed, 252521200);

  seed = 1;
  cache = GaussCache{};
  for (int expected : {45, 55, 47, 48, 51, 51, 47, 49, 54, 51})
    EXPECT_EQ(ibinom(100, 0.5f, seed, cache), expected);
  for (int expected : {3, 3, 4, 4, 2, 3, 6, 4, 2, 5}) EXPECT_EQ(ibinom(10, 0.3f, seed, cache), expected);
  EXPECT_EQ(seed, 43807451);

  // The rounding of every step shows in the last bits of ln Gamma.
  const std::vector<std::pair<float, float>> log_gamma = {
      {0.3f, 1.09579754f},   {1.07f, -0.0365066528f}, {2.61f, 0.364946127f}, {4.15f, 1.98332667f},
      {7.3f, 7.14789295f},   {8.77f, 10.1153936f},    {17.24f, 31.3464355f}, {21.09f, 42.6076546f},
      {25.71f, 57.0660286f}, {31.0f, 74.6582336f}};
  for (auto [xx, expected] : log_gamma) EXPECT_EQ(gammln(xx), expected) << "xx = " << xx;
}

TEST(gammln_test, matches_known_log_factorials) {
  EXPECT_NEAR(gammln(1.0f), 0.0f, 2e-6f);
  EXPECT_NEAR(gammln(2.0f), 0.0f, 2e-6f);
  EXPECT_NEAR(gammln(11.0f), 15.104413f, 1e-5f);                // ln 10!
  EXPECT_NEAR(gammln(0.5f), 0.5723649f, 2e-6f);                 // ln sqrt(pi)
  EXPECT_NEAR(gammln(101.0f), 363.73938f, 363.73938f * 1e-6f);  // ln 100!
}

TEST(ipoiss_test, multiplication_below_twelve_rejection_from_twelve) {
  // The multiplication branch draws exactly one uniform more than the count it returns; the rejection
  // branch draws at least two per trial.
  std::int32_t seed = 424242;
  for (int i = 0; i < 1000; ++i) {
    const std::int32_t before = seed;
    const int k = ipoiss(11.9f, seed);
    ASSERT_EQ(uniforms_between(before, seed), k + 1);
  }
  int unlike_multiplication = 0;
  for (int i = 0; i < 1000; ++i) {
    const std::int32_t before = seed;
    const int k = ipoiss(12.0f, seed);
    const int drawn = uniforms_between(before, seed);
    ASSERT_GE(drawn, 2);
    if (drawn != k + 1) ++unlike_multiplication;
  }
  EXPECT_GT(unlike_multiplication, 900);
}

TEST(ipoiss_test, zero_mean_gives_zero_after_one_uniform) {
  std::int32_t seed = 77;
  EXPECT_EQ(ipoiss(0.0f, seed), 0);
  EXPECT_EQ(uniforms_between(77, seed), 1);
}

TEST(ipoiss_test, draws_have_poisson_mean_and_variance) {
  std::int32_t seed = 31337;
  for (float xm : {0.7f, 3.5f, 11.9f, 12.0f, 30.0f, 250.0f}) {
    SCOPED_TRACE(xm);
    std::vector<double> v(100000);
    for (double& x : v) x = ipoiss(xm, seed);
    expect_mean_and_variance(v, xm, xm);
  }
}

// Pearson's chi-square of the counts 0 ... kmax (the tail pooled into the last class) against the
// Poisson probabilities.
double poisson_chi_square(float xm, int kmax, int draws, std::int32_t& seed) {
  std::vector<int> observed(kmax + 1, 0);
  for (int i = 0; i < draws; ++i) ++observed[std::min<std::int64_t>(ipoiss(xm, seed), kmax)];
  double chi2 = 0.0;
  double tail = 1.0;
  for (int k = 0; k <= kmax; ++k) {
    const double pk = k < kmax ? std::exp(k * std::log(double(xm)) - xm - std::lgamma(k + 1.0)) : tail;
    tail -= pk;
    const double expected = draws * pk;
    chi2 += (observed[k] - expected) * (observed[k] - expected) / expected;
  }
  return chi2;
}

// The shape, not only the first two moments: with 30 degrees of freedom a chi-square above 70 has
// probability below 1e-4.
TEST(ipoiss_test, counts_follow_the_poisson_distribution) {
  std::int32_t seed = 5551212;
  EXPECT_LT(poisson_chi_square(4.0f, 12, 200000, seed), 70.0);
  EXPECT_LT(poisson_chi_square(20.0f, 30, 200000, seed), 70.0);
}

TEST(ibinom_test, certain_outcomes_on_the_bernoulli_branch) {
  std::int32_t seed = 99;
  GaussCache cache;
  for (int n : {1, 10, 1000}) {
    std::int32_t before = seed;
    EXPECT_EQ(ibinom(n, 0.0f, seed, cache), 0);
    EXPECT_EQ(uniforms_between(before, seed), n);
    before = seed;
    EXPECT_EQ(ibinom(n, 1.0f, seed, cache), n);
    EXPECT_EQ(uniforms_between(before, seed), n);
  }
  const std::int32_t before = seed;
  EXPECT_EQ(ibinom(0, 0.5f, seed, cache), 0);
  EXPECT_EQ(seed, before);
  EXPECT_EQ(cache.nrn, 0);
}

// n = 100, p = 0.5: np = nq = 50, so the normal approximation; it draws only what gauss draws.
TEST(ibinom_test, normal_branch_rounds_a_gauss_deviate) {
  std::int32_t seed = 2024;
  GaussCache cache;
  std::int32_t seed_copy = seed;
  GaussCache cache_copy;
  for (int call = 0; call < 2; ++call) {
    const float g = gauss(50.0f, 5.0f, seed_copy, cache_copy);
    EXPECT_EQ(ibinom(100, 0.5f, seed, cache), static_cast<int>(std::lround(g)));
    EXPECT_EQ(seed, seed_copy);
    EXPECT_EQ(cache.nrn, cache_copy.nrn);
  }
}

TEST(ibinom_test, draws_have_binomial_mean_and_variance) {
  std::int32_t seed = 8675309;
  GaussCache cache;
  std::vector<double> v(100000);
  for (double& x : v) {
    x = ibinom(10, 0.3f, seed, cache);
    ASSERT_GE(x, 0);
    ASSERT_LE(x, 10);
  }
  expect_mean_and_variance(v, 3.0, 2.1);
  // Normal branch: rounding to integers adds 1/12 to the variance n p q.
  for (double& x : v) {
    x = ibinom(400, 0.25f, seed, cache);
    ASSERT_GE(x, 0);
    ASSERT_LE(x, 400);
  }
  expect_mean_and_variance(v, 100.0, 75.0 + 1.0 / 12.0);
}

// Beyond 10000 trials, where fewer than 20 successes (or failures) are expected, the draw counts the gaps
// between them: a few uniforms instead of one per trial, and the binomial probabilities, checked by
// Pearson's chi-square of the classes 0 ... 7 (the tail pooled; 7 degrees of freedom, above 30 has
// probability below 1e-4).
TEST(ibinom_test, many_trials_of_a_rare_outcome_take_a_few_uniforms) {
  std::int32_t seed = 424242;
  GaussCache cache;
  const int n = 10'000'000;
  for (const float p : {2e-7f, 1.0f - 1.2e-7f}) {  // np = 2; nq = 1.19 (1 - p in single precision)
    const bool failures = p > 0.5f;
    const double q = failures ? 1.0 - double(p) : double(p);
    const std::int32_t first = seed;
    ibinom(n, p, seed, cache);
    ASSERT_LT(uniforms_between(first, seed, 100), 100) << p;  // not one per trial
    std::vector<int> observed(8, 0);
    const int draws = 20000;
    for (int i = 0; i < draws; ++i) {
      const int k = ibinom(n, p, seed, cache);
      ASSERT_GE(k, 0);
      ASSERT_LE(k, n);
      ++observed[std::min(failures ? n - k : k, 7)];
    }
    double chi2 = 0, tail = 1;
    for (int k = 0; k <= 7; ++k) {
      const double pk = k < 7
                            ? std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) -
                                       std::lgamma(n - k + 1.0) + k * std::log(q) + (n - k) * std::log1p(-q))
                            : tail;
      tail -= pk;
      chi2 += (observed[k] - draws * pk) * (observed[k] - draws * pk) / (draws * pk);
    }
    EXPECT_LT(chi2, 30.0) << p;
  }
}

}  // namespace
}  // namespace trov
