#pragma once

#include <vector>

namespace trov::test {

// The natural cubic spline through values y at the knots x, in another basis than the engine's:
// s(z) = a + b z + sum_j c_j (z - x_j)_+^3 with sum c_j = 0 and sum c_j x_j = 0 (linear beyond the
// end knots), from a dense solve in extended precision. Evaluates s and its first two derivatives.
class TruncatedPowerSpline {
 public:
  TruncatedPowerSpline(const std::vector<double>& x, const std::vector<double>& y);
  double value(double z) const;
  double slope(double z) const;
  double curvature(double z) const;

 private:
  std::vector<double> knots_;
  std::vector<long double> coefficients_;  // a, b, c_1 .. c_n
};

}  // namespace trov::test
