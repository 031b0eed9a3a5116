#pragma once

#include <span>
#include <vector>

#include "engine/additive/design.h"

namespace trov {

// The highest point of the fitted function's smooths (the link is increasing, so the fitness's too),
// where it lies inside the data: strictly within every trait's range, with the function falling away
// in every direction (its Hessian negative definite; a curve's second derivative negative), and for
// two traits within the convex hull of the individuals.
struct FunctionPeak {
  bool inside = false;
  std::vector<double> location;  // per trait
  double smooths = 0;            // the smooths' sum there
};

// u: the design's coordinates of the fit; traits: the cases' values.
FunctionPeak find_peak(const AdditiveDesign& design, std::span<const double> u,
                       const std::vector<std::span<const double>>& traits);

// Whether the point (a, b) lies inside the convex hull of the points (xa, xb), or on its border.
bool inside_hull(std::span<const double> xa, std::span<const double> xb, double a, double b);

}  // namespace trov
