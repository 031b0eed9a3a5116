#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace trov {

// Points grouped by distinct X (covariate runs): points with equal X are consecutive.
struct XGroups {
  std::vector<double> x;             // distinct X, increasing
  std::vector<std::int64_t> counts;  // per distinct X: sum of the counts over its points
  std::vector<int> points;           // per distinct X: number of points
  int size = 0;                      // distinct X
};

// Groups the n points (non-decreasing x) by distinct X.
XGroups compressx(std::span<const double> x, std::span<const int> irep, int n);

// ycompress(k) = sum over the points of group k, in point order, of the point's count times v, divided by the
// group's count.
void compressy(std::span<const double> v, std::span<const int> irep, const XGroups& groups,
               std::span<double> ycompress);

// w(point) = u(group of the point): the inverse of the grouping.
void expandy(std::span<const double> u, const XGroups& groups, std::span<double> w);

}  // namespace trov
