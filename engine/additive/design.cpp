#include "engine/additive/design.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace trov {

namespace {

using Index = std::size_t;

std::vector<double> distinct_values(std::span<const double> x) {
  std::vector<double> sorted(x.begin(), x.end());
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  return sorted;
}

// y Q for a row y: y - (2 y.v / v'v) v.
void reflect(std::span<double> y, std::span<const double> v, double vv) {
  double dot = 0;
  for (Index c = 0; c < v.size(); ++c) dot += y[c] * v[c];
  const double factor = 2 * dot / vv;
  for (Index c = 0; c < v.size(); ++c) y[c] -= factor * v[c];
}

// The smooth of one trait with its raw basis rows at the cases (cases x K, row by row).
SmoothTerm smooth_of(std::span<const double> x, int knots, std::span<const double> counts,
                     std::vector<double>& raw) {
  SmoothTerm term{.basis = CubicBasis(CubicBasis::quantile_knots(distinct_values(x), knots))};
  const Index k = static_cast<Index>(term.basis.size()), n = x.size();
  raw.assign(n * k, 0.0);
  std::vector<double> slope(k), curvature(k), sums(k, 0.0);
  double widest = 0;
  for (Index i = 0; i < n; ++i) {
    std::span<double> row(raw.data() + i * k, k);
    term.basis.row(x[i], row, slope, curvature);
    double width = 0;
    for (Index c = 0; c < k; ++c) {
      sums[c] += counts[i] * row[c];
      width += std::abs(row[c]);
    }
    widest = std::max(widest, width);
  }
  // v = c + sign(c_1) |c| e_1
  double norm = 0;
  for (double s : sums) norm += s * s;
  norm = std::sqrt(norm);
  term.reflection = sums;
  term.reflection[0] += sums[0] >= 0 ? norm : -norm;
  double vv = 0;
  for (double v : term.reflection) vv += v * v;
  // Q' S Q: each row of S reflected, then each column (S symmetric: reflect the rows of the result's
  // transpose)
  std::vector<double> s = term.basis.penalty();
  double largest_column = 0;
  for (Index c = 0; c < k; ++c) {
    double sum = 0;
    for (Index r = 0; r < k; ++r) sum += std::abs(s[r * k + c]);
    largest_column = std::max(largest_column, sum);
  }
  term.penalty_scale = largest_column / (widest * widest);
  for (Index r = 0; r < k; ++r) reflect({s.data() + r * k, k}, term.reflection, vv);
  std::vector<double> t(k * k);
  for (Index r = 0; r < k; ++r)
    for (Index c = 0; c < k; ++c) t[c * k + r] = s[r * k + c];
  for (Index r = 0; r < k; ++r) reflect({t.data() + r * k, k}, term.reflection, vv);
  term.columns = static_cast<int>(k - 1);
  term.rank = static_cast<int>(k - 2);
  term.penalty.resize((k - 1) * (k - 1));
  for (Index r = 1; r < k; ++r)
    for (Index c = 1; c < k; ++c) term.penalty[(r - 1) * (k - 1) + c - 1] = t[r * k + c] / term.penalty_scale;
  // Q's last K - 1 columns, K x (K - 1) row by row
  std::vector<double> g(k * (k - 1));
  for (Index r = 0; r < k; ++r)
    for (Index c = 1; c < k; ++c)
      g[r * (k - 1) + c - 1] = (r == c ? 1.0 : 0.0) - 2 * term.reflection[r] * term.reflection[c] / vv;
  term.log_determinant = term.basis.log_constrained_determinant(g) - term.rank * std::log(term.penalty_scale);
  return term;
}

}  // namespace

std::vector<double> SmoothTerm::knot_values(std::span<const double> coefficients) const {
  // Q [0; coefficients]
  std::vector<double> values(reflection.size(), 0.0);
  std::copy(coefficients.begin(), coefficients.end(), values.begin() + 1);
  double vv = 0;
  for (double v : reflection) vv += v * v;
  reflect(values, reflection, vv);
  return values;
}

int AdditiveDesign::unpenalized() const {
  int penalized = 0;
  for (const SmoothTerm& s : smooths) penalized += s.rank;
  return columns - penalized;
}

AdditiveDesign additive_design(const std::vector<std::span<const double>>& traits, int knots,
                               std::span<const double> counts,
                               const std::vector<CovariateColumn>& covariates) {
  AdditiveDesign design;
  const Index n = counts.size();
  design.cases = static_cast<int>(n);
  std::vector<std::vector<double>> raw(traits.size());
  int columns = 1;
  for (Index j = 0; j < traits.size(); ++j) {
    design.smooths.push_back(smooth_of(traits[j], knots, counts, raw[j]));
    design.smooths.back().first = columns;
    columns += design.smooths.back().columns;
  }
  design.covariate_first = columns;
  for (const CovariateColumn& covariate : covariates) {
    design.levels.push_back(covariate.categorical ? distinct_values(covariate.values)
                                                  : std::vector<double>{});
    columns += covariate.categorical ? static_cast<int>(design.levels.back().size()) - 1 : 1;
  }
  design.columns = columns;
  const auto p = static_cast<Index>(columns);
  design.rows.assign(n * p, 0.0);
  for (Index i = 0; i < n; ++i) {
    double* row = design.rows.data() + i * p;
    row[0] = 1;
    for (Index j = 0; j < traits.size(); ++j) {
      const SmoothTerm& term = design.smooths[j];
      const Index k = static_cast<Index>(term.basis.size());
      std::vector<double> reflected(raw[j].begin() + static_cast<std::ptrdiff_t>(i * k),
                                    raw[j].begin() + static_cast<std::ptrdiff_t>((i + 1) * k));
      double vv = 0;
      for (double v : term.reflection) vv += v * v;
      reflect(reflected, term.reflection, vv);
      std::copy(reflected.begin() + 1, reflected.end(), row + term.first);
    }
    Index column = static_cast<Index>(design.covariate_first);
    for (Index c = 0; c < covariates.size(); ++c) {
      const double value = covariates[c].values[i];
      if (!covariates[c].categorical) {
        row[column++] = value;
        continue;
      }
      const std::vector<double>& levels = design.levels[c];
      const auto level =
          static_cast<Index>(std::lower_bound(levels.begin(), levels.end(), value) - levels.begin());
      if (level > 0) row[column + level - 1] = 1;
      column += levels.size() - 1;
    }
  }
  return design;
}

}  // namespace trov
