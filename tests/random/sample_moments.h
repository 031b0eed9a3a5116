#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace trov::test {

// Mean, variance and fourth central moment of a sample (divisor N).
struct SampleMoments {
  double mean = 0.0;
  double var = 0.0;
  double m4 = 0.0;
  int count = 0;
};

inline SampleMoments moments_of(const std::vector<double>& v) {
  SampleMoments m;
  m.count = static_cast<int>(v.size());
  for (double x : v) m.mean += x;
  m.mean /= m.count;
  for (double x : v) {
    const double d = (x - m.mean) * (x - m.mean);
    m.var += d;
    m.m4 += d * d;
  }
  m.var /= m.count;
  m.m4 /= m.count;
  return m;
}

// Mean and variance within five standard errors of the expected values: a sound generator passes with a
// wide margin, one off by a fraction of a standard deviation on a large sample does not.
inline void expect_mean_and_variance(const std::vector<double>& v, double mean, double var) {
  const SampleMoments m = moments_of(v);
  EXPECT_NEAR(m.mean, mean, 5.0 * std::sqrt(var / m.count));
  EXPECT_NEAR(m.var, var, 5.0 * std::sqrt((m.m4 - m.var * m.var) / m.count));
}

}  // namespace trov::test
