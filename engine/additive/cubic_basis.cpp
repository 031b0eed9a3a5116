#include "engine/additive/cubic_basis.h"

#include <algorithm>
#include <cmath>
#include <cstddef>


namespace trov {

namespace {

using Index = std::size_t;

}  // namespace

CubicBasis::CubicBasis(std::vector<double> knots) : knots_(std::move(knots)) {
  const Index k = knots_.size(), m = k - 2;
  std::vector<double> h(k - 1);
  for (Index j = 0; j + 1 < k; ++j) h[j] = knots_[j + 1] - knots_[j];
  differences_.assign(m * k, 0.0);
  for (Index i = 0; i < m; ++i) {
    differences_[i * k + i] = 1 / h[i];
    differences_[i * k + i + 1] = -1 / h[i] - 1 / h[i + 1];
    differences_[i * k + i + 2] = 1 / h[i + 1];
  }
  // B^-1 D by the tridiagonal (Thomas) elimination, every column of D at once; B is diagonally dominant
  std::vector<double> solved(differences_), ratio(m, 0.0);
  for (Index i = 0; i < m; ++i) {
    const double diagonal = (h[i] + h[i + 1]) / 3;
    const double below = i > 0 ? h[i] / 6 : 0.0;  // B[i, i-1]
    const double pivot = diagonal - (i > 0 ? below * ratio[i - 1] : 0.0);
    if (i + 1 < m) ratio[i] = h[i + 1] / 6 / pivot;
    for (Index c = 0; c < k; ++c)
      solved[i * k + c] = (solved[i * k + c] - (i > 0 ? below * solved[(i - 1) * k + c] : 0.0)) / pivot;
  }
  for (Index i = m - 1; i-- > 0;)
    for (Index c = 0; c < k; ++c) solved[i * k + c] -= ratio[i] * solved[(i + 1) * k + c];
  second_.assign(k * k, 0.0);
  std::copy(solved.begin(), solved.end(), second_.begin() + static_cast<std::ptrdiff_t>(k));
  // S = D' (B^-1 D)
  penalty_.assign(k * k, 0.0);
  for (Index i = 0; i < m; ++i)
    for (Index a = i; a < i + 3; ++a)
      for (Index b = 0; b < k; ++b) penalty_[a * k + b] += differences_[i * k + a] * solved[i * k + b];
}

std::vector<double> CubicBasis::quantile_knots(std::span<const double> distinct, int most) {
  const Index m = distinct.size();
  const Index count = std::min(m, static_cast<Index>(most));
  std::vector<double> knots(count);
  knots.front() = distinct.front();
  knots.back() = distinct.back();
  const double delta = static_cast<double>(m - 1) / static_cast<double>(count - 1);
  for (Index j = 1; j + 1 < count; ++j) {
    const double at = delta * static_cast<double>(j);
    const auto below = std::min(static_cast<Index>(std::floor(at)), m - 2);
    const double fraction = at - static_cast<double>(below);
    knots[j] = distinct[below] * (1 - fraction) + distinct[below + 1] * fraction;
  }
  return knots;
}

CubicBasis::Local CubicBasis::local(double x) const {
  const Index k = knots_.size();
  const double t = std::clamp(x, knots_.front(), knots_.back());
  const auto upper = std::upper_bound(knots_.begin(), knots_.end(), t) - knots_.begin();
  const Index j = std::min(static_cast<Index>(std::max<std::ptrdiff_t>(upper - 1, 0)), k - 2);
  const double h = knots_[j + 1] - knots_[j];
  const double am = (knots_[j + 1] - t) / h, ap = (t - knots_[j]) / h;
  // f = am b_j + ap b_{j+1} + cm F_j + cp F_{j+1}, cm = h^2 (am^3 - am) / 6, cp likewise
  const double cm = h * h * (am * am * am - am) / 6, cp = h * h * (ap * ap * ap - ap) / 6;
  const double cm1 = -h * (3 * am * am - 1) / 6, cp1 = h * (3 * ap * ap - 1) / 6;
  const double beyond = x - t;  // linear beyond the end knots
  const bool inside = beyond == 0;
  return {.interval = static_cast<int>(j),
          .value = {am - beyond / h, ap + beyond / h, cm + beyond * cm1, cp + beyond * cp1},
          .slope = {-1 / h, 1 / h, cm1, cp1},
          .curvature = {0, 0, inside ? am : 0.0, inside ? ap : 0.0}};
}

void CubicBasis::row(double x, std::span<double> value, std::span<double> slope,
                     std::span<double> curvature) const {
  const Index k = knots_.size();
  const Local l = local(x);
  const auto j = static_cast<Index>(l.interval);
  const double* fj = &second_[j * k];
  const double* fj1 = &second_[(j + 1) * k];
  for (Index c = 0; c < k; ++c) {
    value[c] = l.value[2] * fj[c] + l.value[3] * fj1[c];
    slope[c] = l.slope[2] * fj[c] + l.slope[3] * fj1[c];
    curvature[c] = l.curvature[2] * fj[c] + l.curvature[3] * fj1[c];
  }
  value[j] += l.value[0];
  value[j + 1] += l.value[1];
  slope[j] += l.slope[0];
  slope[j + 1] += l.slope[1];
}

}  // namespace trov
