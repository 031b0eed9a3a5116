#include "engine/driver/grouping.h"

#include <climits>
#include <cstdint>

namespace trov {

bool compressx(std::span<const double> x, std::span<const int> irep, int n, XGroups& groups) {
  int k = -1;
  std::int64_t count = 0;  // of group k, summed in 64 bits so that a total beyond INT_MAX shows
  for (int i = 0; i < n; ++i) {
    if (k < 0 || x[i] != groups.xcompress[k]) {  // the first point of the next distinct X
      ++k;
      groups.xcompress[k] = x[i];
      groups.icases[k] = 0;
      count = 0;
    }
    count += irep[i];
    if (count > INT_MAX) return false;
    groups.icompress[k] = static_cast<int>(count);
    groups.icases[k] += 1;
  }
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
