#include "plotlib/draw/contour.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "plotlib/draw/figure_layout.h"

namespace plotlib::figure {

namespace {

// An edge of the grid, where a segment ends: the lower or left corner's indices and the direction.
struct Edge {
  std::size_t i, j;
  bool vertical;  // from (i, j) to (i, j + 1); else to (i + 1, j)
  auto operator<=>(const Edge&) const = default;
};

struct Segment {
  Edge from, to;
};

}  // namespace

std::vector<ContourLine> contour_lines(const std::vector<double>& x, const std::vector<double>& y,
                                       const std::vector<double>& z, double level) {
  const std::size_t nx = x.size(), ny = y.size();
  if (nx < 2 || ny < 2 || z.size() != nx * ny) return {};
  const auto at = [&](std::size_t i, std::size_t j) { return z[j * nx + i]; };
  const auto above = [&](std::size_t i, std::size_t j) { return at(i, j) > level; };
  // where the level crosses an edge, by linear interpolation between its corners
  const auto point = [&](const Edge& e) {
    const std::size_t i2 = e.vertical ? e.i : e.i + 1, j2 = e.vertical ? e.j + 1 : e.j;
    const double z1 = at(e.i, e.j), z2 = at(i2, j2);
    const double t = std::clamp((level - z1) / (z2 - z1), 0.0, 1.0);
    return ContourPoint{x[e.i] + t * (x[i2] - x[e.i]), y[e.j] + t * (y[j2] - y[e.j])};
  };

  std::vector<Segment> segments;
  for (std::size_t j = 0; j + 1 < ny; ++j)
    for (std::size_t i = 0; i + 1 < nx; ++i) {
      const double corners[] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
      if (!std::all_of(std::begin(corners), std::end(corners), [](double v) { return std::isfinite(v); }))
        continue;
      // corners counter-clockwise from the lower left, and the edges after each corner
      const int index = above(i, j) | above(i + 1, j) << 1 | above(i + 1, j + 1) << 2 | above(i, j + 1) << 3;
      const Edge bottom{i, j, false}, right{i + 1, j, true}, top{i, j + 1, false}, left{i, j, true};
      const bool centre_above = (corners[0] + corners[1] + corners[2] + corners[3]) / 4 > level;
      switch (index) {
        case 0:
        case 15:
          break;
        case 1:
        case 14:
          segments.push_back({left, bottom});
          break;
        case 2:
        case 13:
          segments.push_back({bottom, right});
          break;
        case 3:
        case 12:
          segments.push_back({left, right});
          break;
        case 4:
        case 11:
          segments.push_back({right, top});
          break;
        case 6:
        case 9:
          segments.push_back({bottom, top});
          break;
        case 7:
        case 8:
          segments.push_back({left, top});
          break;
        case 5:  // lower left and upper right above
          if (centre_above)
            segments.push_back({left, top}), segments.push_back({bottom, right});
          else
            segments.push_back({left, bottom}), segments.push_back({right, top});
          break;
        case 10:  // lower right and upper left above
          if (centre_above)
            segments.push_back({left, bottom}), segments.push_back({right, top});
          else
            segments.push_back({left, top}), segments.push_back({bottom, right});
          break;
      }
    }

  // segments joined where they share an edge; every edge joins at most two segments
  std::multimap<Edge, std::size_t> ends;
  for (std::size_t k = 0; k < segments.size(); ++k) {
    ends.emplace(segments[k].from, k);
    ends.emplace(segments[k].to, k);
  }
  std::vector<bool> used(segments.size(), false);
  const auto next_from = [&](const Edge& e) -> std::ptrdiff_t {
    const auto [lo, hi] = ends.equal_range(e);
    for (auto it = lo; it != hi; ++it)
      if (!used[it->second]) return static_cast<std::ptrdiff_t>(it->second);
    return -1;
  };
  // follows the line from `e` on, appending each edge it meets
  const auto follow = [&](Edge e, std::vector<Edge>& path) {
    for (std::ptrdiff_t k = next_from(e); k >= 0; k = next_from(e)) {
      used[static_cast<std::size_t>(k)] = true;
      const Segment& s = segments[static_cast<std::size_t>(k)];
      e = s.from == e ? s.to : s.from;
      path.push_back(e);
    }
  };
  std::vector<ContourLine> lines;
  for (std::size_t k = 0; k < segments.size(); ++k) {
    if (used[k]) continue;
    used[k] = true;
    std::vector<Edge> forward{segments[k].to}, backward{segments[k].from};
    follow(segments[k].to, forward);
    follow(segments[k].from, backward);
    ContourLine line;
    for (auto e = backward.rbegin(); e != backward.rend(); ++e) line.push_back(point(*e));
    for (const Edge& e : forward) line.push_back(point(e));
    lines.push_back(std::move(line));
  }
  return lines;
}

ContourLevels contour_levels(const std::vector<double>& z) {
  double lo = INFINITY, hi = -INFINITY;
  for (double v : z)
    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  if (!(hi > lo)) return {};
  // round_ticks gives about five steps of 1, 2 or 5 times a power of ten; contours want about ten
  double step = round_ticks(lo, hi).step;
  const double leading = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  step *= leading > 4 ? 0.4 : 0.5;
  ContourLevels levels{{}, step};
  for (double k = std::floor(lo / step) + 1; k * step < hi; ++k)
    if (k * step > lo) levels.values.push_back(k == 0 ? 0 : k * step);
  return levels;
}

}  // namespace plotlib::figure
