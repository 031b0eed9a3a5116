#include "engine/driver/grouping.h"

namespace trov {

void compressx(std::span<const double> x, std::span<const int> irep, int n, XGroups& groups) {
  int k = 0;
  groups.xcompress[0] = x[0];
  groups.icompress[0] = irep[0];
  groups.icases[0] = 1;
  for (int i = 1; i < n; ++i) {
    if (x[i] == groups.xcompress[k]) {
      groups.icompress[k] += irep[i];
      groups.icases[k] += 1;
    } else {
      ++k;
      groups.xcompress[k] = x[i];
      groups.icompress[k] = irep[i];
      groups.icases[k] = 1;
    }
  }
  groups.nunique = k + 1;
}

void compressy(std::span<const double> v, std::span<const int> irep, const XGroups& groups,
               std::span<double> ycompress) {
  int point = 0;
  for (int k = 0; k < groups.nunique; ++k) {
    double sum = 0.0;
    for (int c = 0; c < groups.icases[k]; ++c, ++point) sum += irep[point] * v[point];
    ycompress[k] = sum / groups.icompress[k];
  }
}

void expandy(std::span<const double> u, const XGroups& groups, std::span<double> w) {
  int point = 0;
  for (int k = 0; k < groups.nunique; ++k)
    for (int c = 0; c < groups.icases[k]; ++c, ++point) w[point] = u[k];
}

}  // namespace trov
