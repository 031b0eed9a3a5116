#pragma once

#include <vector>

namespace trov {

// The cases of a data file pooled into points: equal X (and, with a covariate, equal covariate value)
// make one point. Built once by the data reader; every fit reads it and none changes it.
struct Points {
  std::vector<double> x;          // trait value; non-decreasing, strictly increasing without covariate
  std::vector<double> y;          // N-weighted mean of the pooled cases' Y
  std::vector<double> covariate;  // covariate value (covariate runs); increasing within equal X
  std::vector<int> counts;        // N of the point: the sum of the pooled cases' N, each at least 1
  double spread = 0;  // sum over the cases of N (Y - the mean of its point)^2: what pooling leaves out of Y
  int cases = 0;      // cases read
  int n = 0;          // points
};

}  // namespace trov
