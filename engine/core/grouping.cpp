#include "engine/core/grouping.h"

namespace trov {

XGroups compressx(std::span<const double> x, std::span<const int> irep, int n) {
  XGroups groups;
  for (int i = 0; i < n; ++i) {
    if (i > 0 && x[i] == groups.x.back()) {
      groups.counts.back() += irep[i];
      groups.points.back() += 1;
    } else {
      groups.x.push_back(x[i]);
      groups.counts.push_back(irep[i]);
      groups.points.push_back(1);
    }
  }
  groups.size = static_cast<int>(groups.x.size());
  return groups;
}

void compressy(std::span<const double> v, std::span<const int> irep, const XGroups& groups,
               std::span<double> ycompress) {
  int point = 0;
  for (int k = 0; k < groups.size; ++k) {
    double sum = 0.0;
    for (int c = 0; c < groups.points[k]; ++c, ++point) sum += irep[point] * v[point];
    ycompress[k] = sum / static_cast<double>(groups.counts[k]);
  }
}

void expandy(std::span<const double> u, const XGroups& groups, std::span<double> w) {
  int point = 0;
  for (int k = 0; k < groups.size; ++k)
    for (int c = 0; c < groups.points[k]; ++c, ++point) w[point] = u[k];
}

}  // namespace trov
