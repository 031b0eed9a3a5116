#pragma once

#include <vector>

#include "engine/core/grouping.h"

namespace trov {

inline constexpr int kMaxcol = 20;  // most design columns, and the most levels of a categorical covariate

// The covariate design: one row per point, column-major with `rows` as its leading dimension.
// Continuous covariate: intercept and covariate value (2 columns). Categorical: the intercept and one
// indicator per level after the first, the reference (as many columns as levels).
struct Design {
  int rows = 0;     // points
  int columns = 0;  // design columns in use
  bool categorical = false;
  std::vector<double> xcov{};    // rows x kMaxcol, column-major
  std::vector<double> levels{};  // the levels in the order first met (categorical)
};

// What a fit with a covariate needs besides the points: the design and the grouping by distinct X.
struct Covariate {
  Design design;
  XGroups groups;
};

}  // namespace trov
