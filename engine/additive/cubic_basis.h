#pragma once

#include <span>
#include <vector>

namespace trov {

// A cubic regression spline of one trait, parametrized by its values at K knots: with h_j = k_{j+1} -
// k_j, the second derivatives at the knots are F = [0; B^-1 D; 0] beta (D and B below), the spline
// between two knots is the cubic through their values and second derivatives, and linear beyond the
// end knots. The roughness integral f''^2 is beta' S beta with S = D' B^-1 D.
class CubicBasis {
 public:
  // knots: at least 3, strictly increasing.
  explicit CubicBasis(std::vector<double> knots);

  // K knots at the quantiles of the sorted distinct values (linear between them, the ends at the
  // smallest and the largest): all of them when there are at most `most`.
  static std::vector<double> quantile_knots(std::span<const double> distinct, int most);

  int size() const { return static_cast<int>(knots_.size()); }
  const std::vector<double>& knots() const { return knots_; }
  // S, K x K row by row.
  const std::vector<double>& penalty() const { return penalty_; }

  // f(x), f'(x) and f''(x) as coefficients of the four numbers they depend on: the values b_j, b_{j+1}
  // and second derivatives F_j, F_{j+1} at the knots around x (the end interval's beyond the ends).
  struct Local {
    int interval = 0;  // j
    double value[4], slope[4], curvature[4];
  };
  Local local(double x) const;
  // F's matrix, K x K row by row: the second derivatives at the knots from the values there.
  const std::vector<double>& second_derivatives() const { return second_; }

  // The coefficients of the K knot values in f(x), f'(x) and f''(x) (each span K long).
  void row(double x, std::span<double> value, std::span<double> slope, std::span<double> curvature) const;

 private:
  std::vector<double> knots_;
  std::vector<double>
      differences_;  // D, (K - 2) x K row by row: D[i, i..i+2] = 1/h_i, -1/h_i - 1/h_{i+1}, 1/h_{i+1}
  std::vector<double> second_;  // F's matrix, K x K row by row (first and last rows 0)
  std::vector<double> penalty_;
};

}  // namespace trov
