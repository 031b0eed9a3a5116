#pragma once

#include <cstdint>

namespace trov {

// The one waiting deviate of the polar method, shared by every caller of gauss for the whole run.
struct GaussCache {
  int nrn = 0;        // 1 when a deviate is waiting
  float rnn2 = 0.0f;  // the waiting deviate, in standard units
};

// All generators work in single precision and draw from the caller's seed, which every call advances.
// A valid seed lies in 1 ... 2147483646; every state produced from a valid one is valid again.

// Uniform deviate in (0, 1): z <- 630360016 z mod (2^31 - 1), exact in 32-bit integer arithmetic.
float uniran(std::int32_t& seed);

// Normal deviate with the given mean and sd (polar method, deviates made in pairs).
float gauss(float mean, float sd, std::int32_t& seed, GaussCache& cache);

// Poisson deviate of mean xm >= 0; 64 bits wide, as a point of many cases can expect more than 2^31.
std::int64_t ipoiss(float xm, std::int32_t& seed);

// ln Gamma(xx) for xx > 0.
float gammln(float xx);

// Binomial deviate: successes in n >= 0 trials of probability 0 <= p <= 1; in 0 ... n.
int ibinom(int n, float p, std::int32_t& seed, GaussCache& cache);

}  // namespace trov
