#include "engine/covariate/reboot.h"

#include <cmath>
#include <cstdint>

namespace trov {

void reboot(std::span<double> y, std::span<const double> sy, std::span<const float> syold,
            std::span<const int> irep, int n, Model model, RebootState& state) {
  std::int32_t& seed = state.seed;
  if (state.first_call == 0) {
    if (model == Model::normal) {
      // variance = sum irep (sy - y)^2 / sum irep, no degrees-of-freedom correction. Each term is formed in
      // double; the running sum is stored as a 32-bit real, as the bootstrap accumulators are. The count is
      // summed in 64 bits: 10000 points of up to 2147483647 each.
      float sum = 0.0f;
      std::int64_t ntot = 0;
      for (int i = 0; i < n; ++i) {
        const double diff = sy[i] - y[i];
        sum = static_cast<float>(sum + irep[i] * (diff * diff));
        ntot += irep[i];
      }
      state.variance = sum / static_cast<float>(ntot);
    }
    state.first_call = 1;
  }

  if (model == Model::normal) {
    for (int i = 0; i < n; ++i) {
      const float per_case = state.variance / static_cast<float>(irep[i]);
      const float sd = static_cast<float>(std::sqrt(static_cast<double>(per_case)));  // sd of a mean of irep
      const float deviate = gauss(0.0f, sd, seed, state.gauss);
      y[i] = static_cast<double>(deviate) + static_cast<double>(syold[i]);
    }
  } else if (model == Model::binomial) {
    for (int i = 0; i < n; ++i) {
      const int k = ibinom(irep[i], syold[i], seed, state.gauss);
      y[i] = static_cast<double>(k) / irep[i];
    }
  } else {
    for (int i = 0; i < n; ++i) {
      const float xm = static_cast<float>(irep[i]) * syold[i];  // expected count at the point
      const std::int64_t k = ipoiss(xm, seed);
      y[i] = static_cast<double>(k) / irep[i];
    }
  }
}

}  // namespace trov
