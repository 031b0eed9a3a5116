#include "engine/driver/grouping.h"

#include <climits>
#include <cstdint>

namespace trov {

bool compressx(std::span<const double> x, std::span<const int> irep, int n, XGroups& groups) {
  int k = 0;
  std::int64_t count = irep[0];  // of the current group, summed where it cannot overflow
  groups.xcompress[0] = x[0];
  groups.icases[0] = 1;
  for (int i = 1; i < n; ++i) {
    if (x[i] == groups.xcompress[k]) {
      count += irep[i];
      groups.icases[k] += 1;
    } else {
      if (count > INT_MAX) return false;
      groups.icompress[k] = static_cast<int>(count);
      ++k;
      groups.xcompress[k] = x[i];
      count = irep[i];
      groups.icases[k] = 1;
    }
  }
  if (count > INT_MAX) return false;
  groups.icompress[k] = static_cast<int>(count);
  groups.nunique = k + 1;
  return true;
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
