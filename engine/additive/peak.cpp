#include "engine/additive/peak.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace trov {

namespace {

using Index = std::size_t;

constexpr int kCurvePoints = 401;
constexpr int kSurfacePoints = 81;
constexpr int kNewtonSteps = 50;

struct Range {
  double low, high;
};

Range range_of(std::span<const double> x) {
  const auto [low, high] = std::minmax_element(x.begin(), x.end());
  return {*low, *high};
}

double at_fraction(Range r, int i, int points) {
  return r.low + (r.high - r.low) * static_cast<double>(i) / (points - 1);
}

// A curve's highest interior point: the best of a fine grid, then Newton's method on f' within the
// grid's cells around it.
bool curve_peak(const SmoothTerm& term, std::span<const double> u, Range r, double& location, double& value) {
  int best = 0;
  double best_value = -INFINITY;
  for (int i = 0; i < kCurvePoints; ++i) {
    const double x = at_fraction(r, i, kCurvePoints);
    const double v = term.at({&x, 1}, u).value;
    if (v > best_value) best = i, best_value = v;
  }
  if (best == 0 || best == kCurvePoints - 1) return false;
  const double low = at_fraction(r, best - 1, kCurvePoints), high = at_fraction(r, best + 1, kCurvePoints);
  double x = at_fraction(r, best, kCurvePoints);
  for (int step = 0; step < kNewtonSteps; ++step) {
    const TermDerivatives d = term.at({&x, 1}, u);
    if (!(d.second[0][0] < 0)) break;
    const double next = std::clamp(x - d.first[0] / d.second[0][0], low, high);
    if (std::abs(next - x) <= 1e-12 * (std::abs(x) + r.high - r.low)) break;
    x = next;
  }
  const TermDerivatives d = term.at({&x, 1}, u);
  if (!(d.second[0][0] < 0) || d.value < best_value) return false;
  location = x;
  value = d.value;
  return true;
}

// A surface's highest interior point: the best of a grid, then Newton's method within the box.
bool surface_peak(const SmoothTerm& term, std::span<const double> u, Range ra, Range rb, double point[2],
                  double& value) {
  int bi = 0, bj = 0;
  double best_value = -INFINITY;
  for (int i = 0; i < kSurfacePoints; ++i)
    for (int j = 0; j < kSurfacePoints; ++j) {
      const double x[2] = {at_fraction(ra, i, kSurfacePoints), at_fraction(rb, j, kSurfacePoints)};
      const double v = term.at(x, u).value;
      if (v > best_value) bi = i, bj = j, best_value = v;
    }
  const int last = kSurfacePoints - 1;
  if (bi == 0 || bj == 0 || bi == last || bj == last) return false;
  double x[2] = {at_fraction(ra, bi, kSurfacePoints), at_fraction(rb, bj, kSurfacePoints)};
  auto definite = [](const TermDerivatives& d) {
    return d.second[0][0] < 0 && d.second[0][0] * d.second[1][1] - d.second[0][1] * d.second[1][0] > 0;
  };
  for (int step = 0; step < kNewtonSteps; ++step) {
    const TermDerivatives d = term.at(x, u);
    if (!definite(d)) break;
    const double det = d.second[0][0] * d.second[1][1] - d.second[0][1] * d.second[1][0];
    const double da = (d.second[1][1] * d.first[0] - d.second[0][1] * d.first[1]) / det;
    const double db = (d.second[0][0] * d.first[1] - d.second[1][0] * d.first[0]) / det;
    const double next[2] = {std::clamp(x[0] - da, ra.low, ra.high), std::clamp(x[1] - db, rb.low, rb.high)};
    const bool settled = std::abs(next[0] - x[0]) <= 1e-12 * (ra.high - ra.low) &&
                         std::abs(next[1] - x[1]) <= 1e-12 * (rb.high - rb.low);
    x[0] = next[0];
    x[1] = next[1];
    if (settled) break;
  }
  const TermDerivatives d = term.at(x, u);
  if (!definite(d) || d.value < best_value || x[0] <= ra.low || x[0] >= ra.high || x[1] <= rb.low ||
      x[1] >= rb.high)
    return false;
  point[0] = x[0];
  point[1] = x[1];
  value = d.value;
  return true;
}

double cross(std::pair<double, double> o, std::pair<double, double> a, std::pair<double, double> b) {
  return (a.first - o.first) * (b.second - o.second) - (a.second - o.second) * (b.first - o.first);
}

}  // namespace

bool inside_hull(std::span<const double> xa, std::span<const double> xb, double a, double b) {
  std::vector<std::pair<double, double>> points;
  for (Index i = 0; i < xa.size(); ++i) points.emplace_back(xa[i], xb[i]);
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  if (points.size() < 3) return false;
  // the hull counter-clockwise by the monotone chain
  std::vector<std::pair<double, double>> hull(2 * points.size());
  Index k = 0;
  for (const auto& p : points) {
    while (k >= 2 && cross(hull[k - 2], hull[k - 1], p) <= 0) --k;
    hull[k++] = p;
  }
  for (Index i = points.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
    hull[k++] = points[i];
  }
  hull.resize(k - 1);
  for (Index i = 0; i < hull.size(); ++i)
    if (cross(hull[i], hull[(i + 1) % hull.size()], {a, b}) < 0) return false;
  return true;
}

FunctionPeak find_peak(const AdditiveDesign& design, std::span<const double> u,
                       const std::vector<std::span<const double>>& traits) {
  FunctionPeak peak;
  peak.location.assign(traits.size(), NAN);
  for (const SmoothTerm& term : design.smooths) {
    double value = 0;
    const Range ra = range_of(traits[static_cast<Index>(term.traits[0])]);
    if (term.traits.size() == 1) {
      if (!curve_peak(term, u, ra, peak.location[static_cast<Index>(term.traits[0])], value)) return {};
    } else {
      double point[2];
      if (!surface_peak(term, u, ra, range_of(traits[static_cast<Index>(term.traits[1])]), point, value))
        return {};
      peak.location[static_cast<Index>(term.traits[0])] = point[0];
      peak.location[static_cast<Index>(term.traits[1])] = point[1];
    }
    peak.smooths += value;
  }
  if (traits.size() == 2 && !inside_hull(traits[0], traits[1], peak.location[0], peak.location[1])) return {};
  peak.inside = true;
  return peak;
}

}  // namespace trov
