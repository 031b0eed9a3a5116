#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

namespace trov {

// The effect of a categorical covariate's level `value` on the linear predictor: `effects` holds one per
// level of `levels`, side by side (NaN for a value that is no level).
inline double level_effect(std::span<const double> levels, std::span<const double> effects, double value) {
  const auto level = std::find(levels.begin(), levels.end(), value);
  const auto k = static_cast<std::size_t>(level - levels.begin());
  return level == levels.end() || k >= effects.size() ? NAN : effects[k];
}

// The case-weighted mean of the points' values (their covariate effects): sum N v / sum N, in point
// order, where the fits put every point at the mean covariate effect.
template <typename Count>
double case_weighted_mean(std::span<const double> values, std::span<const Count> counts) {
  double weighted = 0, cases = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    weighted += counts[i] * values[i];
    cases += counts[i];
  }
  return weighted / cases;
}

}  // namespace trov
