#include "engine/covariate/random.h"

#include <cmath>

namespace trov {

namespace {

constexpr std::int32_t modlus = 2147483647;  // 2^31 - 1
constexpr std::int32_t mult1 = 24112;
constexpr std::int32_t mult2 = 26143;  // mult1 * mult2 = 630360016
constexpr std::int32_t b2e15 = 32768;
constexpr std::int32_t b2e16 = 65536;

// z * mult mod (2^31 - 1) for 0 < z < 2^31 - 1, with no intermediate leaving 32-bit range: the product is
// split at bit 16 and the overflow above bit 31 folded back in, since 2^31 = 1 mod (2^31 - 1).
std::int32_t mulmod(std::int32_t z, std::int32_t mult) {
  const std::int32_t hi15 = z / b2e16;
  const std::int32_t lowprd = (z - hi15 * b2e16) * mult;
  const std::int32_t low15 = lowprd / b2e16;
  const std::int32_t hi31 = hi15 * mult + low15;
  const std::int32_t ovflow = hi31 / b2e15;
  z = ((lowprd - low15 * b2e16) - modlus) + (hi31 - ovflow * b2e15) * b2e16 + ovflow;
  if (z < 0) z += modlus;
  return z;
}

// Library functions run in double; their results are kept in single precision like every other value here.
float log_f(float v) { return static_cast<float>(std::log(static_cast<double>(v))); }
float exp_f(float v) { return static_cast<float>(std::exp(static_cast<double>(v))); }
float sqrt_f(float v) { return static_cast<float>(std::sqrt(static_cast<double>(v))); }
float tan_f(float v) { return static_cast<float>(std::tan(static_cast<double>(v))); }
float pow_f(float v, float e) {
  return static_cast<float>(std::pow(static_cast<double>(v), static_cast<double>(e)));
}

}  // namespace

float uniran(std::int32_t& seed) {
  std::int32_t z = mulmod(seed, mult1);
  z = mulmod(z, mult2);
  seed = z;
  // 2 (z / 256) + 1 < 2^24 is exact in a float, and so is the division by 2^24: never 0, never 1.
  const std::int32_t odd = 2 * (z / 256) + 1;
  return static_cast<float>(odd) / 16777216.0f;
}

float gauss(float mean, float sd, std::int32_t& seed, GaussCache& cache) {
  if (cache.nrn == 1) {
    cache.nrn = 0;
    return mean + cache.rnn2 * sd;
  }
  float a, b, s;
  do {  // a point uniform in the unit disc, centre excluded
    a = 2.0f * uniran(seed) - 1.0f;
    b = 2.0f * uniran(seed) - 1.0f;
    s = a * a + b * b;
  } while (s >= 1.0f || s <= 0.0f);
  const float lns = log_f(s);
  const float f = sqrt_f(-2.0f * lns / s);  // f = sqrt(-2 ln(s) / s)
  cache.rnn2 = b * f;
  cache.nrn += 1;
  return mean + a * f * sd;
}

float gammln(float xx) {
  static constexpr float cof[6] = {76.18009173f, -86.50532033f,   24.01409822f,
                                   -1.23174f,    0.120858003e-2f, -0.536382e-5f};
  constexpr float stp = 2.506628f;
  constexpr float half = 0.5f;
  constexpr float one = 1.0f;
  constexpr float fpf = 5.5f;
  float x = xx - one;
  float tmp = x + fpf;
  const float lntmp = log_f(tmp);
  tmp = (x + half) * lntmp - tmp;  // (x + 1/2) ln(x + 5.5) - (x + 5.5)
  float ser = one;
  for (float c : cof) {  // ser = 1 + sum_j cof_j / (x + j)
    x = x + one;
    ser = ser + c / x;
  }
  return tmp + log_f(stp * ser);
}

std::int64_t ipoiss(float xm, std::int32_t& seed) {
  if (xm < 12.0f) {
    // Count uniforms until their product falls to e^-xm.
    const float g = exp_f(-xm);
    float em = -1.0f;
    float t = 1.0f;
    do {
      em = em + 1.0f;
      t = t * uniran(seed);
    } while (t > g);
    return static_cast<std::int64_t>(em);
  }
  // Rejection against a Lorentzian comparison function.
  constexpr float pi = 3.1415927f;
  const float sq = sqrt_f(2.0f * xm);
  const float alxm = log_f(xm);
  const float g = xm * alxm - gammln(xm + 1.0f);
  float em, y, t;
  do {
    do {
      y = tan_f(pi * uniran(seed));
      em = sq * y + xm;
    } while (em < 0.0f);
    em = std::floor(em);
    const float y2 = pow_f(y, 2.0f);
    const float lnratio = em * alxm - gammln(em + 1.0f) - g;
    t = 0.9f * (1.0f + y2) * exp_f(lnratio);
  } while (uniran(seed) > t);
  return static_cast<std::int64_t>(em);
}

namespace {

// Successes in n trials of a small probability q, by the gaps between them: the failures before each
// success are geometric, drawn by inversion from one uniform, so about nq + 1 uniforms are drawn.
int rare_successes(int n, double q, std::int32_t& seed) {
  if (q <= 0.0) return 0;
  const double log_failure = std::log1p(-q);
  int k = 0;
  for (double trials = 0;; ++k) {
    trials += std::floor(std::log(static_cast<double>(uniran(seed))) / log_failure) + 1;
    if (trials > n) return k;
  }
}

}  // namespace

int ibinom(int n, float p, std::int32_t& seed, GaussCache& cache) {
  const float np = static_cast<float>(n) * p;
  const float nq = static_cast<float>(n) * (1.0f - p);
  // Beyond this many trials one uniform per trial takes seconds; the gaps between the rarer outcomes
  // (fewer than 20 expected) take the same distribution from a few uniforms, on another stream.
  constexpr int kMostDirectTrials = 10000;
  if (n > kMostDirectTrials && np < 20.0f) return rare_successes(n, p, seed);
  if (n > kMostDirectTrials && nq < 20.0f) return n - rare_successes(n, 1.0 - static_cast<double>(p), seed);
  if (np < 20.0f || nq < 20.0f) {
    int k = 0;
    for (int trial = 0; trial < n; ++trial)
      if (uniran(seed) <= p) ++k;
    return k;
  }
  // Normal approximation, rounded half away from zero and clamped to 0 ... n. The rounding and the clamp
  // stay in float so that no value outside the int range is ever converted.
  const float sd = sqrt_f(p * nq);
  const float g = gauss(np, sd, seed, cache);
  float k = g >= 0.0f ? std::trunc(g + 0.5f) : std::trunc(g - 0.5f);
  if (k < 0.0f) k = 0.0f;
  if (k > static_cast<float>(n)) return n;
  return static_cast<int>(k);
}

}  // namespace trov
