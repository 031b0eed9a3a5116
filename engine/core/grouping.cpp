#include "engine/core/grouping.h"

namespace trov {

XGroups compressx(std::span<const double> x, std::span<const int> irep, int n) {
  XGroups groups;
  for (int i = 0; i < n; ++i) {
    if (i > 0 && x[i] == groups.xcompress.back()) {
      groups.icompress.back() += irep[i];
      groups.icases.back() += 1;
    } else {
      groups.xcompress.push_back(x[i]);
      groups.icompress.push_back(irep[i]);
      groups.icases.push_back(1);
    }
  }
  groups.nunique = static_cast<int>(groups.xcompress.size());
  return groups;
}

void compressy(std::span<const double> v, std::span<const int> irep, const XGroups& groups,
               std::span<double> ycompress) {
  int point = 0;
  for (int k = 0; k < groups.nunique; ++k) {
    double sum = 0.0;
    for (int c = 0; c < groups.icases[k]; ++c, ++point) sum += irep[point] * v[point];
    ycompress[k] = sum / static_cast<double>(groups.icompress[k]);
  }
}

void expandy(std::span<const double> u, const XGroups& groups, std::span<double> w) {
  int point = 0;
  for (int k = 0; k < groups.nunique; ++k)
    for (int c = 0; c < groups.icases[k]; ++c, ++point) w[point] = u[k];
}

}  // namespace trov
