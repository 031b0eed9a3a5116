#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace trov {

// Points grouped by distinct X (covariate runs): points with equal X are consecutive.
struct XGroups {
  std::vector<double> xcompress;        // distinct X, increasing
  std::vector<std::int64_t> icompress;  // per distinct X: sum of irep over its points
  std::vector<int> icases;              // per distinct X: number of points
  int nunique = 0;
};

// Groups the n points (non-decreasing x) by distinct X.
XGroups compressx(std::span<const double> x, std::span<const int> irep, int n);

// ycompress(k) = sum over the points of group k, in point order, of irep * v, divided by icompress(k).
void compressy(std::span<const double> v, std::span<const int> irep, const XGroups& groups,
               std::span<double> ycompress);

// w(point) = u(group of the point): the inverse of the grouping.
void expandy(std::span<const double> u, const XGroups& groups, std::span<double> w);

}  // namespace trov
