#include "engine/additive/design.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "engine/additive/eigenvalues.h"

namespace trov {

namespace {

using Index = std::size_t;

std::vector<double> distinct_values(std::span<const double> x) {
  std::vector<double> sorted(x.begin(), x.end());
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  return sorted;
}

double squared_norm(std::span<const double> v) {
  double sum = 0;
  for (double e : v) sum += e * e;
  return sum;
}

// y Q for a row y: y - (2 y.v / v'v) v.
void reflect(std::span<double> y, std::span<const double> v, double vv) {
  double dot = 0;
  for (Index c = 0; c < v.size(); ++c) dot += y[c] * v[c];
  const double factor = 2 * dot / vv;
  for (Index c = 0; c < v.size(); ++c) y[c] -= factor * v[c];
}

// Q' P Q without its first row and column, for a symmetric P (k x k): each row of P reflected, then
// each column (reflecting the rows of the transpose).
std::vector<double> constrained(std::vector<double> p, std::span<const double> v) {
  const Index k = v.size();
  const double vv = squared_norm(v);
  for (Index r = 0; r < k; ++r) reflect({p.data() + r * k, k}, v, vv);
  std::vector<double> t(k * k);
  for (Index r = 0; r < k; ++r)
    for (Index c = 0; c < k; ++c) t[c * k + r] = p[r * k + c];
  for (Index r = 0; r < k; ++r) reflect({t.data() + r * k, k}, v, vv);
  std::vector<double> out((k - 1) * (k - 1));
  for (Index r = 1; r < k; ++r)
    for (Index c = 1; c < k; ++c) out[(r - 1) * (k - 1) + c - 1] = t[r * k + c];
  return out;
}

// A's Kronecker product with B (square, row by row).
std::vector<double> kronecker(std::span<const double> a, Index na, std::span<const double> b, Index nb) {
  const Index n = na * nb;
  std::vector<double> out(n * n);
  for (Index i = 0; i < na; ++i)
    for (Index j = 0; j < na; ++j)
      for (Index k = 0; k < nb; ++k)
        for (Index l = 0; l < nb; ++l) out[(i * nb + k) * n + j * nb + l] = a[i * na + j] * b[k * nb + l];
  return out;
}

std::vector<double> identity(Index n) {
  std::vector<double> out(n * n, 0.0);
  for (Index i = 0; i < n; ++i) out[i * n + i] = 1;
  return out;
}

// The orthonormal basis of a curve's unpenalized functions (the straight lines) as values at its knots.
std::vector<std::vector<double>> null_space(const CubicBasis& basis) {
  const std::vector<double>& k = basis.knots();
  const auto size = static_cast<double>(k.size());
  double mean = 0;
  for (double x : k) mean += x / size;
  std::vector<double> constant(k.size(), 1 / std::sqrt(size)), linear;
  for (double x : k) linear.push_back(x - mean);
  const double norm = std::sqrt(squared_norm(linear));
  for (double& x : linear) x /= norm;
  return {constant, linear};
}

// The smooth of the traits `which` (one or two) at the cases: its bases, constraint, penalties and
// their pseudo-determinant's constant.
SmoothTerm smooth_of(const std::vector<std::span<const double>>& traits, std::vector<int> which, int knots,
                     std::span<const double> counts) {
  SmoothTerm term{.traits = std::move(which)};
  for (int t : term.traits)
    term.bases.emplace_back(
        CubicBasis::quantile_knots(distinct_values(traits[static_cast<Index>(t)]), knots));
  const Index m = term.bases.size(), n = counts.size();
  const Index ka = static_cast<Index>(term.bases[0].size()),
              kb = m > 1 ? static_cast<Index>(term.bases[1].size()) : 1;
  const Index k = ka * kb;
  std::vector<std::vector<double>> rows(m);
  std::vector<double> slope, curvature, sums(k, 0.0), widest(m, 0.0);
  for (Index t = 0; t < m; ++t) rows[t].resize(static_cast<Index>(term.bases[t].size()));
  slope.resize(std::max(ka, kb));
  curvature.resize(slope.size());
  for (Index i = 0; i < n; ++i) {
    for (Index t = 0; t < m; ++t) {
      term.bases[t].row(traits[static_cast<Index>(term.traits[t])][i], rows[t], slope, curvature);
      double width = 0;
      for (double r : rows[t]) width += std::abs(r);
      widest[t] = std::max(widest[t], width);
    }
    for (Index a = 0; a < ka; ++a)
      for (Index b = 0; b < kb; ++b) sums[a * kb + b] += counts[i] * rows[0][a] * (m > 1 ? rows[1][b] : 1.0);
  }
  // v = c + sign(c_1) |c| e_1
  const double norm = std::sqrt(squared_norm(sums));
  term.reflection = sums;
  term.reflection[0] += sums[0] >= 0 ? norm : -norm;
  for (Index t = 0; t < m; ++t) {
    const CubicBasis& basis = term.bases[t];
    const auto size = static_cast<Index>(basis.size());
    std::vector<double> s = basis.penalty();
    double largest_column = 0;
    for (Index c = 0; c < size; ++c) {
      double sum = 0;
      for (Index r = 0; r < size; ++r) sum += std::abs(s[r * size + c]);
      largest_column = std::max(largest_column, sum);
    }
    const double scale = largest_column / (widest[t] * widest[t]);
    term.divisors.push_back(scale);
    for (double& e : s) e /= scale;
    term.eigenvalues.push_back(symmetric_eigenvalues(s, static_cast<int>(size)));
    term.eigenvalues.back()[0] = term.eigenvalues.back()[1] = 0;  // the straight lines
    const std::vector<double> full = m == 1   ? s
                                     : t == 0 ? kronecker(s, ka, identity(kb), kb)
                                              : kronecker(identity(ka), ka, s, kb);
    term.penalties.push_back(constrained(full, term.reflection));
  }
  term.columns = static_cast<int>(k - 1);
  term.rank = static_cast<int>(k - (m == 1 ? 2 : 4));
  // |Q' P Q|+ = |P|+ |N' q_1|^2, N the unpenalized functions (orthonormal), q_1 = Q e_1: the constant
  std::vector<double> q1(k, 0.0);
  q1[0] = 1;
  reflect(q1, term.reflection, squared_norm(term.reflection));
  const auto na = null_space(term.bases[0]);
  const auto nb = m > 1 ? null_space(term.bases[1]) : std::vector<std::vector<double>>{{1.0}};
  double projected = 0;
  for (const auto& u : na)
    for (const auto& w : nb) {
      double dot = 0;
      for (Index a = 0; a < ka; ++a)
        for (Index b = 0; b < kb; ++b) dot += u[a] * w[b] * q1[a * kb + b];
      projected += dot * dot;
    }
  term.log_determinant_constant = std::log(projected);
  return term;
}

// A curve's coordinates from its values at the knots: the values, then the second derivatives there.
std::vector<double> curve_coordinates(const CubicBasis& basis, std::span<const double> values) {
  const auto k = static_cast<Index>(basis.size());
  const std::vector<double>& f = basis.second_derivatives();
  std::vector<double> out(values.begin(), values.end());
  out.resize(2 * k, 0.0);
  for (Index r = 0; r < k; ++r)
    for (Index s = 0; s < k; ++s) out[k + r] += f[r * k + s] * values[s];
  return out;
}

// A term's coordinates from its values at the knots (a surface: the products of its traits').
std::vector<double> term_coordinates(const SmoothTerm& term, std::span<const double> values) {
  if (term.bases.size() == 1) return curve_coordinates(term.bases[0], values);
  const auto ka = static_cast<Index>(term.bases[0].size()), kb = static_cast<Index>(term.bases[1].size());
  std::vector<double> along_b(ka * 2 * kb), column(ka), out(4 * ka * kb);
  for (Index a = 0; a < ka; ++a) {
    const std::vector<double> row = curve_coordinates(term.bases[1], values.subspan(a * kb, kb));
    std::copy(row.begin(), row.end(), along_b.begin() + static_cast<std::ptrdiff_t>(a * 2 * kb));
  }
  for (Index c = 0; c < 2 * kb; ++c) {
    for (Index a = 0; a < ka; ++a) column[a] = along_b[a * 2 * kb + c];
    const std::vector<double> col = curve_coordinates(term.bases[0], column);
    for (Index r = 0; r < 2 * ka; ++r) out[r * 2 * kb + c] = col[r];
  }
  return out;
}

// A curve's four coordinates around x (relative to its first).
std::array<int, 4> local_coordinates(const CubicBasis& basis, int interval) {
  const int k = basis.size();
  return {interval, interval + 1, k + interval, k + interval + 1};
}

}  // namespace

double SmoothTerm::log_determinant(std::span<const double> lambda, std::span<double> gradient) const {
  std::fill(gradient.begin(), gradient.end(), 0.0);
  double sum = log_determinant_constant;
  const std::vector<double>& da = eigenvalues[0];
  if (bases.size() == 1) {
    for (Index i = 2; i < da.size(); ++i) sum += std::log(lambda[0] * da[i]);
    gradient[0] = rank;
    return sum;
  }
  // the eigenvalues of lambda_a S_a (x) I + lambda_b I (x) S_b are the sums lambda_a d_i + lambda_b e_j
  const std::vector<double>& db = eigenvalues[1];
  for (Index i = 0; i < da.size(); ++i)
    for (Index j = i < 2 ? 2 : 0; j < db.size(); ++j) {
      const double a = lambda[0] * da[i], b = lambda[1] * db[j], s = a + b;
      sum += std::log(s);
      gradient[0] += a / s;
      gradient[1] += b / s;
    }
  return sum;
}

double SmoothTerm::penalty_value(int t, std::span<const double> coefficients) const {
  const std::vector<double> v = knot_values(coefficients);
  if (bases.size() == 1) return bases[0].roughness(v) / divisors[0];
  // a surface's: the roughness along trait t of every line of its grid of knots
  const auto ka = static_cast<Index>(bases[0].size()), kb = static_cast<Index>(bases[1].size());
  double sum = 0;
  std::vector<double> line;
  for (Index j = 0; j < (t == 0 ? kb : ka); ++j) {
    line.clear();
    for (Index i = 0; i < (t == 0 ? ka : kb); ++i) line.push_back(t == 0 ? v[i * kb + j] : v[j * kb + i]);
    sum += bases[static_cast<Index>(t)].roughness(line);
  }
  return sum / divisors[static_cast<Index>(t)];
}

std::vector<double> SmoothTerm::knot_values(std::span<const double> coefficients) const {
  // Q [0; coefficients]
  std::vector<double> values(reflection.size(), 0.0);
  std::copy(coefficients.begin(), coefficients.end(), values.begin() + 1);
  reflect(values, reflection, squared_norm(reflection));
  return values;
}

TermDerivatives SmoothTerm::at(std::span<const double> x, std::span<const double> u) const {
  TermDerivatives d;
  const CubicBasis::Local la = bases[0].local(x[0]);
  const std::array<int, 4> ca = local_coordinates(bases[0], la.interval);
  const auto base = static_cast<Index>(coordinate_first);
  if (bases.size() == 1) {
    for (Index e = 0; e < 4; ++e) {
      const double c = u[base + static_cast<Index>(ca[e])];
      d.value += la.value[e] * c;
      d.first[0] += la.slope[e] * c;
      d.second[0][0] += la.curvature[e] * c;
    }
    return d;
  }
  const CubicBasis::Local lb = bases[1].local(x[1]);
  const std::array<int, 4> cb = local_coordinates(bases[1], lb.interval);
  const auto stride = static_cast<Index>(2 * bases[1].size());
  for (Index e = 0; e < 4; ++e)
    for (Index f = 0; f < 4; ++f) {
      const double c = u[base + static_cast<Index>(ca[e]) * stride + static_cast<Index>(cb[f])];
      d.value += la.value[e] * lb.value[f] * c;
      d.first[0] += la.slope[e] * lb.value[f] * c;
      d.first[1] += la.value[e] * lb.slope[f] * c;
      d.second[0][0] += la.curvature[e] * lb.value[f] * c;
      d.second[1][1] += la.value[e] * lb.curvature[f] * c;
      d.second[0][1] += la.slope[e] * lb.slope[f] * c;
    }
  d.second[1][0] = d.second[0][1];
  return d;
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

std::vector<double> AdditiveDesign::curve_columns(int smooth, double x) const {
  const SmoothTerm& term = smooths[static_cast<Index>(smooth)];
  const auto p = static_cast<Index>(columns), first = static_cast<Index>(term.first);
  const CubicBasis::Local l = term.bases[0].local(x);
  const std::array<int, 4> coordinate = local_coordinates(term.bases[0], l.interval);
  std::vector<double> out(static_cast<Index>(term.columns), 0.0);
  for (Index e = 0; e < 4; ++e) {
    const double* row =
        transform.data() + static_cast<Index>(term.coordinate_first + coordinate[e]) * p + first;
    for (Index c = 0; c < out.size(); ++c) out[c] += l.value[e] * row[c];
  }
  return out;
}

int AdditiveDesign::lambdas() const {
  int count = 0;
  for (const SmoothTerm& s : smooths) count += s.lambdas();
  return count;
}

AdditiveDesign additive_design(const std::vector<std::span<const double>>& traits, int knots, bool surface,
                               std::span<const double> counts,
                               const std::vector<CovariateColumn>& covariates) {
  AdditiveDesign design;
  const Index n = counts.size();
  design.cases = static_cast<int>(n);
  std::vector<std::vector<int>> groups;
  if (surface) groups.push_back({0, 1});
  for (int t = 0; !surface && t < static_cast<int>(traits.size()); ++t) groups.push_back({t});
  int columns = 1, coordinates = 1, entry = 1;
  for (std::vector<int>& group : groups) {
    design.smooths.push_back(smooth_of(traits, std::move(group), knots, counts));
    SmoothTerm& term = design.smooths.back();
    term.first = columns;
    term.coordinate_first = coordinates;
    term.entry_first = entry;
    term.entries = term.bases.size() == 1 ? 4 : 16;
    columns += term.columns;
    coordinates +=
        term.bases.size() == 1 ? 2 * term.bases[0].size() : 4 * term.bases[0].size() * term.bases[1].size();
    entry += term.entries;
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
  design.width = entry + static_cast<int>(covariates.size());
  const auto p = static_cast<Index>(columns);

  // T: the intercept; each smooth's columns G Q as coordinates; the covariates' columns as they are
  design.transform.assign(static_cast<Index>(coordinates) * p, 0.0);
  design.transform[0] = 1;
  for (const SmoothTerm& term : design.smooths) {
    const auto first = static_cast<Index>(term.first), at = static_cast<Index>(term.coordinate_first);
    for (Index c = 0; c < static_cast<Index>(term.columns); ++c) {
      std::vector<double> unit(static_cast<Index>(term.columns), 0.0);
      unit[c] = 1;
      const std::vector<double> column = term_coordinates(term, term.knot_values(unit));
      for (Index r = 0; r < column.size(); ++r) design.transform[(at + r) * p + first + c] = column[r];
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
    double* entry_of = design.entries.data() + i * width;
    entry_of[0] = 1;
    for (const SmoothTerm& term : design.smooths) {
      const auto e0 = static_cast<Index>(term.entry_first);
      const CubicBasis::Local la = term.bases[0].local(traits[static_cast<Index>(term.traits[0])][i]);
      const std::array<int, 4> ca = local_coordinates(term.bases[0], la.interval);
      if (term.bases.size() == 1) {
        for (Index e = 0; e < 4; ++e) {
          index[e0 + e] = term.coordinate_first + ca[e];
          entry_of[e0 + e] = la.value[e];
        }
        continue;
      }
      const CubicBasis::Local lb = term.bases[1].local(traits[static_cast<Index>(term.traits[1])][i]);
      const std::array<int, 4> cb = local_coordinates(term.bases[1], lb.interval);
      const int stride = 2 * term.bases[1].size();
      for (Index e = 0; e < 4; ++e)
        for (Index f = 0; f < 4; ++f) {
          index[e0 + 4 * e + f] = term.coordinate_first + ca[e] * stride + cb[f];
          entry_of[e0 + 4 * e + f] = la.value[e] * lb.value[f];
        }
    }
    int column = covariate_coordinate;
    for (Index c = 0; c < covariates.size(); ++c) {
      const Index e = static_cast<Index>(entry) + c;
      const double value = covariates[c].values[i];
      if (!covariates[c].categorical) {
        index[e] = column++;
        entry_of[e] = value;
        continue;
      }
      // the indicator of the case's level; the smallest level's is 0 at the intercept
      const std::vector<double>& levels = design.levels[c];
      const auto level =
          static_cast<int>(std::lower_bound(levels.begin(), levels.end(), value) - levels.begin());
      index[e] = level > 0 ? column + level - 1 : 0;
      entry_of[e] = level > 0 ? 1 : 0;
      column += static_cast<int>(levels.size()) - 1;
    }
  }
  return design;
}

}  // namespace trov
