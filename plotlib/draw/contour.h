#pragma once
// Contour lines of a function tabulated on a rectangular grid, by marching squares.
#include <vector>

namespace plotlib::figure {

struct ContourPoint {
  double x = 0, y = 0;
};
using ContourLine = std::vector<ContourPoint>;  // closed where its last point is its first

// The lines where z equals `level`: z[j * x.size() + i] at (x[i], y[j]), both grids increasing. A cell
// with a value that is not finite has no line through it. A cell whose diagonal corners lie on the two
// sides of the level (a saddle) is resolved by the mean of its corners.
std::vector<ContourLine> contour_lines(const std::vector<double>& x, const std::vector<double>& y,
                                       const std::vector<double>& z, double level);

// Round levels strictly inside the range of the finite values of z, about ten of them (none for a flat
// z), and their step, which their labels need (tick_label).
struct ContourLevels {
  std::vector<double> values;
  double step = 1;
};
ContourLevels contour_levels(const std::vector<double>& z);

}  // namespace plotlib::figure
