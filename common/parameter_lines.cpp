#include "common/parameter_lines.h"

#include <climits>
#include <cmath>

namespace trov {

namespace {

int saturated(double value) {
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

int integer_setting(Reading reading, float value) {
  if (reading == Reading::rounded && value != 0) value += value > 0 ? 0.5f : -0.5f;  // in single precision
  return saturated(std::trunc(static_cast<double>(value)));
}

}  // namespace trov
