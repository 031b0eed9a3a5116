#pragma once

#include <span>
#include <vector>

#include "common/list_reader.h"
#include "engine/driver/settings.h"

namespace trov {

inline constexpr int kCapacity = 10000;  // most cases, points and distinct X of a run

// Cases of the data file pooled into points: equal X (and, with a covariate, equal C) make one point.
struct Points {
  std::vector<double> x;      // X of the point; non-decreasing, strictly increasing without covariate
  std::vector<double> y;      // N-weighted mean of the pooled cases' Y
  std::vector<double> xsave;  // C of the point (covariate runs); increasing within equal X
  std::vector<int> irep;      // N of the point: sum of the pooled cases' N, each at least 1
  int nraw = 0;               // cases read
  int n = 0;                  // points
};

// Reads the data file named on the next line of the parameter file, reports the count of cases and
// pools them into points. Faults end in the error stop (bad case, too many cases, no case) or, for a
// file that cannot be opened, in a report on standard error and status 2.
void datin(ListReader& parameters, const Settings& settings, Points& points);

// Sorts the nraw cases by X (and C within equal X when M > 0) and pools them into points.
void organizedata(Points& points, int M);

// Increasing index sort of values(0..count-1) into perm; stable, so equal values keep their order.
void dpsort(std::span<const double> values, int count, std::span<int> perm);

// True when y(1..n-1) all equal y(0) exactly, also when n = 1.
bool vartest(std::span<const double> y, int n);

// The checks on the pooled responses, in order, each ending in the error stop: no variance, Y
// against the model, and (a mended fault) fewer than 4 distinct X, where the spline is undefined.
void check_points(const Points& points, int model);

}  // namespace trov
