#include "engine/additive/eigenvalues.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace trov {

std::vector<double> symmetric_eigenvalues(std::vector<double> a, int size) {
  const auto n = static_cast<std::size_t>(size);
  auto at = [&](std::size_t r, std::size_t c) -> double& { return a[r * n + c]; };
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0, diagonal = 0;
    for (std::size_t r = 0; r < n; ++r) {
      diagonal += at(r, r) * at(r, r);
      for (std::size_t c = r + 1; c < n; ++c) off += at(r, c) * at(r, c);
    }
    if (off <= 1e-32 * diagonal) break;
    for (std::size_t p = 0; p + 1 < n; ++p)
      for (std::size_t q = p + 1; q < n; ++q) {
        if (at(p, q) == 0) continue;
        // the rotation that zeroes a[p][q]: tan of its angle the smaller root of t^2 + 2 theta t - 1
        const double theta = (at(q, q) - at(p, p)) / (2 * at(p, q));
        const double t = std::copysign(1.0, theta) / (std::abs(theta) + std::sqrt(theta * theta + 1));
        const double c = 1 / std::sqrt(t * t + 1), s = t * c;
        for (std::size_t k = 0; k < n; ++k) {
          const double kp = at(k, p), kq = at(k, q);
          at(k, p) = c * kp - s * kq;
          at(k, q) = s * kp + c * kq;
        }
        for (std::size_t k = 0; k < n; ++k) {
          const double pk = at(p, k), qk = at(q, k);
          at(p, k) = c * pk - s * qk;
          at(q, k) = s * pk + c * qk;
        }
      }
  }
  std::vector<double> values(n);
  for (std::size_t r = 0; r < n; ++r) values[r] = at(r, r);
  std::sort(values.begin(), values.end());
  return values;
}

}  // namespace trov
