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

// The smooth of one trait at the cases.
SmoothTerm smooth_of(std::span<const double> x, int knots, std::span<const double> counts) {
  SmoothTerm term{.basis = CubicBasis(CubicBasis::quantile_knots(distinct_values(x), knots))};
  const Index k = static_cast<Index>(term.basis.size()), n = x.size();
  std::vector<double> row(k), slope(k), curvature(k), sums(k, 0.0);
  double widest = 0;
  for (Index i = 0; i < n; ++i) {
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

double AdditiveDesign::dot(int i, std::span<const double> u, int first, int count) const {
  const Index at = static_cast<Index>(i) * static_cast<Index>(width) + static_cast<Index>(first);
  const Index end = at + static_cast<Index>(count < 0 ? width - first : count);
  double sum = 0;
  for (Index e = at; e < end; ++e) sum += entries[e] * u[static_cast<Index>(index[e])];
  return sum;
}

void AdditiveDesign::coordinates_of(std::span<const double> beta, std::vector<double>& u) const {
  const auto p = static_cast<Index>(columns);
  u.assign(static_cast<Index>(coordinates), 0.0);
  for (Index r = 0; r < u.size(); ++r)
    for (Index c = 0; c < p; ++c) u[r] += transform[r * p + c] * beta[c];
}

std::vector<double> AdditiveDesign::row(int i) const {
  const auto p = static_cast<Index>(columns);
  std::vector<double> x(p, 0.0);
  for (Index e = static_cast<Index>(i) * static_cast<Index>(width), end = e + static_cast<Index>(width);
       e < end; ++e)
    for (Index c = 0; c < p; ++c) x[c] += entries[e] * transform[static_cast<Index>(index[e]) * p + c];
  return x;
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
  const Index n = counts.size(), m = traits.size();
  design.cases = static_cast<int>(n);
  int columns = 1, coordinates = 1;
  for (Index j = 0; j < m; ++j) {
    design.smooths.push_back(smooth_of(traits[j], knots, counts));
    design.smooths.back().first = columns;
    design.trait_coordinates.push_back(coordinates);
    columns += design.smooths.back().columns;
    coordinates += 2 * design.smooths.back().basis.size();
  }
  design.covariate_first = columns;
  const int covariate_coordinate = coordinates;
  for (const CovariateColumn& covariate : covariates) {
    design.levels.push_back(covariate.categorical ? distinct_values(covariate.values)
                                                  : std::vector<double>{});
    const int count = covariate.categorical ? static_cast<int>(design.levels.back().size()) - 1 : 1;
    columns += count;
    coordinates += count;
  }
  design.columns = columns;
  design.coordinates = coordinates;
  design.width = static_cast<int>(1 + 4 * m + covariates.size());
  const auto p = static_cast<Index>(columns);

  // T: the intercept; [G; F G] per trait; the covariates' columns as they are
  design.transform.assign(static_cast<Index>(coordinates) * p, 0.0);
  design.transform[0] = 1;
  for (Index j = 0; j < m; ++j) {
    const SmoothTerm& term = design.smooths[j];
    const auto k = static_cast<Index>(term.basis.size()), first = static_cast<Index>(term.first);
    const auto at = static_cast<Index>(design.trait_coordinates[j]);
    const std::vector<double>& f = term.basis.second_derivatives();
    for (Index c = 0; c < k - 1; ++c) {
      std::vector<double> unit(k - 1, 0.0);
      unit[c] = 1;
      const std::vector<double> g = term.knot_values(unit);  // column c of G
      for (Index r = 0; r < k; ++r) {
        design.transform[(at + r) * p + first + c] = g[r];
        double second = 0;
        for (Index s = 0; s < k; ++s) second += f[r * k + s] * g[s];
        design.transform[(at + k + r) * p + first + c] = second;
      }
    }
  }
  for (int c = design.covariate_first; c < columns; ++c)
    design.transform[static_cast<Index>(covariate_coordinate + c - design.covariate_first) * p +
                     static_cast<Index>(c)] = 1;

  const auto width = static_cast<Index>(design.width);
  design.index.assign(n * width, 0);
  design.entries.assign(n * width, 0.0);
  for (Index i = 0; i < n; ++i) {
    int* index = design.index.data() + i * width;
    double* entry = design.entries.data() + i * width;
    entry[0] = 1;
    for (Index j = 0; j < m; ++j) {
      const SmoothTerm& term = design.smooths[j];
      const CubicBasis::Local local = term.basis.local(traits[j][i]);
      const int at = design.trait_coordinates[j] + local.interval, k = term.basis.size();
      const int coordinate[4] = {at, at + 1, at + k, at + k + 1};
      for (Index e = 0; e < 4; ++e) {
        index[1 + 4 * j + e] = coordinate[e];
        entry[1 + 4 * j + e] = local.value[e];
      }
    }
    int column = covariate_coordinate;
    for (Index c = 0; c < covariates.size(); ++c) {
      const Index e = 1 + 4 * m + c;
      const double value = covariates[c].values[i];
      if (!covariates[c].categorical) {
        index[e] = column++;
        entry[e] = value;
        continue;
      }
      // the indicator of the case's level; the smallest level's is 0 at the intercept
      const std::vector<double>& levels = design.levels[c];
      const auto level =
          static_cast<int>(std::lower_bound(levels.begin(), levels.end(), value) - levels.begin());
      index[e] = level > 0 ? column + level - 1 : 0;
      entry[e] = level > 0 ? 1 : 0;
      column += static_cast<int>(levels.size()) - 1;
    }
  }
  return design;
}

}  // namespace trov
