#pragma once

#include <span>

namespace trov {

// Points grouped by distinct X (covariate runs): points with equal X are consecutive.
struct XGroups {
  std::span<double> xcompress;  // distinct X, increasing
  std::span<int> icompress;     // per distinct X: sum of irep over its points
  std::span<int> icases;        // per distinct X: number of points
  int nunique = 0;
};

// Groups the n points (non-decreasing x) by distinct X; sets groups.nunique. False when the counts of one
// X add up beyond the integer range of icompress (points of one X with different covariate values).
bool compressx(std::span<const double> x, std::span<const int> irep, int n, XGroups& groups);

// ycompress(k) = sum over the points of group k, in point order, of irep * v, divided by icompress(k).
void compressy(std::span<const double> v, std::span<const int> irep, const XGroups& groups,
               std::span<double> ycompress);

// w(point) = u(group of the point): the inverse of the grouping.
void expandy(std::span<const double> u, const XGroups& groups, std::span<double> w);

}  // namespace trov
