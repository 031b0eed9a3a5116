// curve: out-of-scaling report, clipping to the axis system, line styles and symbols; single symbols on
// the page or at axis values.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "plotlib/draw/plotlib.h"
#include "plotlib/draw/state.h"
#include "plotlib/draw/symbols.h"

namespace plotlib {
namespace {

using detail::nint;
using detail::state;

struct Vec {
  double x, y;
};

struct Piece {
  Vec from, to;
};

// Liang-Barsky: the part of the segment inside the clipping window of graf, if any.
std::optional<Piece> clip(Vec a, Vec b) {
  const detail::State& s = state();
  const double dx = b.x - a.x, dy = b.y - a.y;
  double t0 = 0.0, t1 = 1.0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x - s.clip_left, s.clip_right - a.x, a.y - s.clip_top, s.clip_bottom - a.y};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0.0) {
      if (q[k] < 0.0) return std::nullopt;
      continue;
    }
    const double t = q[k] / p[k];
    if (p[k] < 0.0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return std::nullopt;
  }
  return Piece{{a.x + t0 * dx, a.y + t0 * dy}, {a.x + t1 * dx, a.y + t1 * dy}};
}

// Draws the visible part of a segment; a connected follower needs no new move.
void clipped_line(Vec a, Vec b) {
  const auto piece = clip(a, b);
  if (!piece) return;
  const PagePoint from{nint(piece->from.x), nint(piece->from.y)};
  const PagePoint to{nint(piece->to.x), nint(piece->to.y)};
  if (from == to) return;
  detail::move_to(from);
  detail::line_to(to);
}

// Drawn and skipped lengths along the line, in plot units.
struct DashPattern {
  double on, off;
};

// The pattern walks along the whole polyline, restarted for each curve.
class Dasher {
 public:
  explicit Dasher(DashPattern pattern) : pattern_(pattern) {}

  void segment(Vec a, Vec b) {
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    double done = 0.0;
    while (done < length) {
      const double phase_length = drawing_ ? pattern_.on : pattern_.off;
      const double step = std::min(phase_length - phase_, length - done);
      if (drawing_) clipped_line(lerp(a, b, done / length), lerp(a, b, (done + step) / length));
      done += step;
      phase_ += step;
      if (phase_ >= phase_length) {
        drawing_ = !drawing_;
        phase_ = 0.0;
      }
    }
  }

 private:
  static Vec lerp(Vec a, Vec b, double t) { return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)}; }

  DashPattern pattern_;
  bool drawing_ = true;
  double phase_ = 0.0;
};

void polyline(const std::vector<Vec>& points) {
  const detail::LineStyle style = state().line_style;
  if (style == detail::LineStyle::solid) {
    for (std::size_t i = 1; i < points.size(); ++i) clipped_line(points[i - 1], points[i]);
    return;
  }
  Dasher dasher(style == detail::LineStyle::dashed ? DashPattern{10, 10} : DashPattern{30, 20});
  for (std::size_t i = 1; i < points.size(); ++i) dasher.segment(points[i - 1], points[i]);
}

// Symbol `number` around the centre: cut at the axis system, or anywhere on the page.
enum class Cut { at_axes, none };

void symbol_at(int number, Vec centre, Cut cut) {
  const double scale = state().symbol_size / 100.0;  // vertices are in percent of the symbol size
  for (const auto& stroke : symbol_strokes(number))
    for (std::size_t i = 1; i < stroke.size(); ++i) {
      const Vec a{centre.x + stroke[i - 1].x * scale, centre.y + stroke[i - 1].y * scale};
      const Vec b{centre.x + stroke[i].x * scale, centre.y + stroke[i].y * scale};
      if (cut == Cut::at_axes)
        clipped_line(a, b);
      else
        detail::line({nint(a.x), nint(a.y)}, {nint(b.x), nint(b.y)});
    }
}

bool symbol_number_ok(int nsym, std::string_view routine) {
  if (nsym >= 0 && nsym < kSymbolCount) return true;
  detail::warn(2, routine, nsym);
  return false;
}

bool outside(float v, const detail::AxisScale& scale) {
  return v < std::min(scale.a, scale.e) || v > std::max(scale.a, scale.e);
}

}  // namespace

void curve(std::span<const float> x, std::span<const float> y, int n) {
  if (!detail::level_ok("curve", 2, 2)) return;
  detail::State& s = state();
  // the arrays must hold n points as well
  const bool too_few = n < 1 || (n == 1 && s.marker_step >= 0);
  if (too_few || static_cast<std::size_t>(n) > x.size() || static_cast<std::size_t>(n) > y.size()) {
    detail::warn(2, "curve");
    return;
  }

  std::vector<Vec> points;
  points.reserve(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
    if (outside(x[i], s.xscale) || outside(y[i], s.yscale))
      write_message(out_of_scaling_line(x[i], y[i]) + "\n");
    points.push_back({detail::scale_x(x[i]), detail::scale_y(y[i])});
  }

  if (s.marker_step != 0) {
    const auto every = static_cast<std::size_t>(std::llabs(static_cast<long long>(s.marker_step)));
    for (std::size_t i = 0; i < points.size(); i += every) symbol_at(s.symbol, points[i], Cut::at_axes);
  }
  if (s.marker_step >= 0) polyline(points);
  if (s.marker_step != 0) s.symbol = s.symbol % 20 + 1;
}

void symbol(int nsym, int nx, int ny) {
  if (!detail::level_ok("symbol", 1, 2) || !symbol_number_ok(nsym, "symbol")) return;
  symbol_at(nsym, {static_cast<double>(nx), static_cast<double>(ny)}, Cut::none);
}

void rlsymb(int nsym, float x, float y) {
  if (!detail::level_ok("rlsymb", 2, 2) || !symbol_number_ok(nsym, "rlsymb")) return;
  symbol_at(nsym, {detail::scale_x(x), detail::scale_y(y)}, Cut::at_axes);
}

}  // namespace plotlib
