#include "engine/additive/gradients.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "engine/covariate/matrix.h"
#include "engine/spline/links.h"

namespace trov {

namespace {

using Index = std::size_t;

// h, h' and h'' at eta for the canonical links.
InverseLink inverse_link(double eta, Model model) {
  return inverse_link_at_mean(mean_at_eta(eta, model), model);
}

// The coefficients of the columns `of` (indices into the regressors) in the least squares of
// `response` on the regressors (cases x columns, row by row) with weights `counts`; NaN when collinear.
std::vector<double> least_squares(const std::vector<double>& regressors, Index columns,
                                  std::span<const double> response, std::span<const double> counts) {
  std::vector<double> packed(columns * (columns + 1) / 2, 0.0), rhs(columns, 0.0);
  for (Index i = 0; i < counts.size(); ++i) {
    const double* x = regressors.data() + i * columns;
    for (Index a = 0; a < columns; ++a) {
      const double s = counts[i] * x[a];
      for (Index b = 0; b <= a; ++b) packed[a * (a + 1) / 2 + b] += s * x[b];
      rhs[a] += s * response[i];
    }
  }
  if (dsym(packed, static_cast<int>(columns), rhs) != 0) rhs.assign(columns, NAN);
  return rhs;
}

}  // namespace

AdditiveGradients additive_gradients(const AdditiveDesign& design,
                                     const std::vector<std::span<const double>>& traits,
                                     std::span<const double> y, std::span<const double> counts,
                                     std::span<const double> eta, std::span<const double> beta, Model model) {
  const Index m = traits.size(), n = counts.size();
  AdditiveGradients g;
  double total = 0;
  for (double c : counts) total += c;
  // eta's first and second derivatives in the traits at each case, from every smooth of them
  std::vector<double> u, point;
  design.coordinates_of(beta, u);
  std::vector<std::vector<double>> slope(m, std::vector<double>(n, 0.0)), curvature(m * m, std::vector<double>(n, 0.0));
  for (Index i = 0; i < n; ++i)
    for (const SmoothTerm& term : design.smooths) {
      point.clear();
      for (int t : term.traits) point.push_back(traits[static_cast<Index>(t)][i]);
      const TermDerivatives d = term.at(point, u);
      for (Index t = 0; t < term.traits.size(); ++t) {
        const auto a = static_cast<Index>(term.traits[t]);
        slope[a][i] += d.first[t];
        for (Index r = 0; r < term.traits.size(); ++r)
          curvature[a * m + static_cast<Index>(term.traits[r])][i] += d.second[t][r];
      }
    }
  double fitness = 0;
  std::vector<double> first(m, 0.0), second(m * m, 0.0);
  for (Index i = 0; i < n; ++i) {
    const InverseLink h = inverse_link(eta[i], model);
    fitness += counts[i] * h.h;
    for (Index a = 0; a < m; ++a) {
      first[a] += counts[i] * h.first * slope[a][i];
      for (Index b = a; b < m; ++b)
        second[a * m + b] +=
            counts[i] * (h.second * slope[a][i] * slope[b][i] + h.first * curvature[a * m + b][i]);
    }
  }
  for (Index a = 0; a < m; ++a)
    for (Index b = 0; b < a; ++b) second[a * m + b] = second[b * m + a];  // symmetric to the last bit
  g.mean_fitness = fitness / total;
  std::vector<bool> positive(m);
  for (Index a = 0; a < m; ++a) {
    positive[a] = std::all_of(traits[a].begin(), traits[a].end(), [](double x) { return x > 0; });
    double sum = 0;
    for (Index i = 0; i < n; ++i) sum += counts[i] * traits[a][i];
    const double mean = sum / total;
    double squares = 0;
    for (Index i = 0; i < n; ++i) squares += counts[i] * (traits[a][i] - mean) * (traits[a][i] - mean);
    g.trait_mean.push_back(mean);
    g.trait_sd.push_back(std::sqrt(squares / (total - 1)));
  }
  for (Index a = 0; a < m; ++a) {
    g.beta.push_back(first[a] / total / g.mean_fitness);
    g.beta_standardized.push_back(g.beta[a] * g.trait_sd[a]);
    g.beta_mean_standardized.push_back(positive[a] ? g.beta[a] * g.trait_mean[a] : NAN);
  }
  for (Index a = 0; a < m; ++a)
    for (Index b = 0; b < m; ++b) {
      g.gamma.push_back(second[a * m + b] / total / g.mean_fitness);
      g.gamma_standardized.push_back(g.gamma.back() * g.trait_sd[a] * g.trait_sd[b]);
      g.gamma_mean_standardized.push_back(positive[a] && positive[b]
                                              ? g.gamma.back() * g.trait_mean[a] * g.trait_mean[b]
                                              : NAN);
    }

  // Lande and Arnold: 1, z, the covariates' columns, then z_a z_b for a <= b
  double sum_y = 0;
  for (Index i = 0; i < n; ++i) sum_y += counts[i] * y[i];
  const double mean_y = sum_y / total;
  const auto covariates = static_cast<Index>(design.columns - design.covariate_first);
  const Index linear = 1 + m + covariates, quadratic = linear + m * (m + 1) / 2;
  std::vector<double> linear_rows(n * linear), quadratic_rows(n * quadratic), relative(n);
  for (Index i = 0; i < n; ++i) {
    relative[i] = y[i] / mean_y;
    double* row = quadratic_rows.data() + i * quadratic;
    row[0] = 1;
    for (Index a = 0; a < m; ++a) row[1 + a] = (traits[a][i] - g.trait_mean[a]) / g.trait_sd[a];
    const std::vector<double> x = design.row(static_cast<int>(i));
    for (Index c = 0; c < covariates; ++c) row[1 + m + c] = x[static_cast<Index>(design.covariate_first) + c];
    Index column = linear;
    for (Index a = 0; a < m; ++a)
      for (Index b = a; b < m; ++b) row[column++] = row[1 + a] * row[1 + b];
    std::copy(row, row + linear, linear_rows.data() + i * linear);
  }
  g.lande_arnold_beta.assign(m, NAN);
  g.lande_arnold_gamma.assign(m * m, NAN);
  if (!(mean_y > 0)) return g;
  const std::vector<double> b1 = least_squares(linear_rows, linear, relative, counts);
  const std::vector<double> b2 = least_squares(quadratic_rows, quadratic, relative, counts);
  for (Index a = 0; a < m; ++a) g.lande_arnold_beta[a] = b1[1 + a];
  Index column = linear;
  for (Index a = 0; a < m; ++a)
    for (Index b = a; b < m; ++b) {
      const double value = a == b ? 2 * b2[column] : b2[column];
      g.lande_arnold_gamma[a * m + b] = g.lande_arnold_gamma[b * m + a] = value;
      ++column;
    }
  return g;
}

}  // namespace trov
