#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "plotlib/draw/figure_scene.h"

namespace plotlib::figure {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kMargin = 4;       // around everything, points
constexpr double kAxisWidth = 0.6;  // axis lines and ticks
constexpr double kCurveWidth = 1.2;
constexpr double kSymbolWidth = 0.6;  // outline of data symbols
constexpr double kTickLength = 3;
constexpr double kBandGrey = 0.82;
constexpr double kMarkerRadius = 3.4;
constexpr double kLegendSample = 16;  // length of a line in the legend
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kLeastFontPt = 7;  // what a journal column still prints legibly

struct Range {
  double lo = kInf, hi = -kInf;
  void add(double v, double clip = kInf) {
    if (!std::isfinite(v) || v > clip) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  bool empty() const { return lo > hi; }
};

Range x_range(const Figure& f) {
  Range r;
  for (const Line& l : f.lines)
    for (double v : l.x) r.add(v);
  for (const Band& b : f.bands)
    for (double v : b.x) r.add(v);
  for (const Points& p : f.points)
    for (double v : p.x) r.add(v);
  for (const Marker& m : f.markers) r.add(m.x);
  return r;
}

Range y_range(const Figure& f, int panel) {
  const double clip = std::isnan(f.panels[panel].clip_above) ? kInf : f.panels[panel].clip_above;
  Range r;
  for (const Line& l : f.lines)
    if (l.panel == panel)
      for (double v : l.y) r.add(v, clip);
  for (const Band& b : f.bands)
    if (b.panel == panel)
      for (std::size_t i = 0; i < b.x.size(); ++i) r.add(b.lower[i], clip), r.add(b.upper[i], clip);
  for (const Points& p : f.points)
    if (p.panel == panel)
      for (double v : p.y) r.add(v, clip);
  for (const Marker& m : f.markers)
    if (m.panel == panel) r.add(m.y, clip);
  if (!std::isnan(f.panels[panel].clip_above) && !r.empty()) r.hi = std::max(r.hi, clip);
  return r;
}

// Symbol outlines of radius r around (x, y).
std::vector<Point> shape_points(Shape shape, double x, double y, double r) {
  std::vector<Point> points;
  const auto polygon = [&](int corners, double radius, double start, bool star) {
    const int count = star ? 2 * corners : corners;
    for (int i = 0; i < count; ++i) {
      const double a = (start + 360.0 * i / count) * std::numbers::pi / 180.0;
      const double d = star && i % 2 == 1 ? radius * 0.45 : radius;
      points.push_back({x + d * std::cos(a), y - d * std::sin(a)});
    }
  };
  switch (shape) {
    case Shape::circle:
      polygon(24, r, 0, false);
      break;  // drawn as a circle by the painter
    case Shape::square:
      polygon(4, r * 1.2, 45, false);
      break;
    case Shape::triangle:
      polygon(3, r * 1.25, 90, false);
      break;
    case Shape::diamond:
      polygon(4, r * 1.25, 90, false);
      break;
    case Shape::star:
      polygon(5, r * 1.35, 90, true);
      break;
  }
  return points;
}

// What the legend shows for one name.
struct Entry {
  enum class Kind { line, band, points, marker } kind;
  std::string label;
  Stroke stroke = Stroke::solid;
  double grey = 0;
  Shape shape = Shape::circle;
  bool rug = false;
};

std::vector<Entry> legend_entries(const Figure& f) {
  std::vector<Entry> entries;
  const auto add = [&](Entry e) {
    if (e.label.empty()) return;
    for (const Entry& old : entries)
      if (old.label == e.label) return;
    entries.push_back(std::move(e));
  };
  for (const Line& l : f.lines) add({Entry::Kind::line, l.label, l.stroke, l.grey});
  for (const Band& b : f.bands) add({Entry::Kind::band, b.label});
  for (const Points& p : f.points) add({Entry::Kind::points, p.label, Stroke::solid, 0, p.shape, p.rug});
  for (const Marker& m : f.markers) add({Entry::Kind::marker, m.label, Stroke::solid, 0, m.shape});
  return entries;
}

// The runs of indices where every value is finite.
template <class Finite>
std::vector<std::pair<std::size_t, std::size_t>> finite_runs(std::size_t n, Finite finite) {
  std::vector<std::pair<std::size_t, std::size_t>> runs;
  for (std::size_t i = 0; i < n;) {
    while (i < n && !finite(i)) ++i;
    std::size_t end = i;
    while (end < n && finite(end)) ++end;
    if (end > i) runs.emplace_back(i, end);
    i = end;
  }
  return runs;
}

class Painter {
 public:
  Painter(const Figure& f, Scene& s) : f_(f), s_(s) {}

  void line(std::vector<Point> points, double width, Stroke stroke = Stroke::solid, double grey = 0,
            int clip = -1) {
    s_.paths.push_back({std::move(points), 0, false, -1, width, grey, stroke, clip});
  }
  void area(std::vector<Point> points, double fill, double stroke_width = 0, int clip = -1) {
    s_.paths.push_back({std::move(points), 0, true, fill, stroke_width, 0, Stroke::solid, clip});
  }
  // A symbol; circles as circles, which keeps the files of many points small.
  void symbol(Shape shape, double x, double y, double r, double fill, double stroke_width) {
    if (shape == Shape::circle)
      s_.paths.push_back({{{x, y}}, r, true, fill, stroke_width, 0, Stroke::solid, -1});
    else
      area(shape_points(shape, x, y, r), fill, stroke_width);
  }
  // A text within `room` points: smaller down to the least legible size, then cut with "...".
  void text(std::string text, double x, double y, Anchor anchor = Anchor::start, bool vertical = false,
            double room = kInf) {
    double size = f_.font_pt;
    if (text_width(text, size) > room) size = std::max(kLeastFontPt, size * room / text_width(text, size));
    if (text_width(text, size) > room) {
      while (!text.empty() && text_width(text + "...", size) > room) text.pop_back();
      text += "...";
    }
    s_.texts.push_back({std::move(text), x, y, size, anchor, vertical});
  }
  // An entry's symbol or sample, centred at (x, y).
  void sample(const Entry& e, double x, double y) {
    switch (e.kind) {
      case Entry::Kind::line:
        line({{x - kLegendSample / 2, y}, {x + kLegendSample / 2, y}}, kCurveWidth, e.stroke, e.grey);
        break;
      case Entry::Kind::band:
        area({{x - 6, y - 3}, {x + 6, y - 3}, {x + 6, y + 3}, {x - 6, y + 3}}, kBandGrey);
        break;
      case Entry::Kind::points:
        if (e.rug)
          line({{x, y - 3}, {x, y + 3}}, kSymbolWidth);
        else
          symbol(e.shape, x, y, 2.2, -1, kSymbolWidth);
        break;
      case Entry::Kind::marker:
        symbol(e.shape, x, y, kMarkerRadius, 0, kSymbolWidth);
        break;
    }
  }

 private:
  const Figure& f_;
  Scene& s_;
};

}  // namespace

Ticks round_ticks(double lo, double hi) {
  if (!(hi > lo)) {  // one value: a unit of its size either side
    const double unit = lo == 0 ? 1 : std::pow(10.0, std::floor(std::log10(std::fabs(lo))));
    lo -= unit, hi += unit;
  }
  const double raw = (hi - lo) / 5;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  Ticks t;
  for (double factor : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0}) {
    t.step = factor * power;
    const double first = std::floor(lo / t.step + 1e-9), last = std::ceil(hi / t.step - 1e-9);
    t.first = first * t.step;
    t.count = static_cast<int>(last - first) + 1;
    if (t.count <= 7) break;
  }
  return t;
}

std::string tick_label(double value, double step) {
  const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
  if (std::fabs(value) < step * 1e-6) value = 0;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string s = text;
  if (s.find('.') != std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

std::vector<double> dash_pattern(Stroke stroke) {
  switch (stroke) {
    case Stroke::solid:
      return {};
    case Stroke::dashed:
      return {3.5, 2.2};
    case Stroke::long_dashed:
      return {7, 3};
    case Stroke::dotted:
      return {1, 1.8};
  }
  return {};
}

Scene lay_out(const Figure& f) {
  Scene s;
  s.width = f.width_mm * kPointsPerMm;
  s.height = f.height_mm * kPointsPerMm;
  Painter paint(f, s);
  const double size = f.font_pt, line_height = size * 1.3;
  const double ascent = size * 0.76;  // of the font's capitals and digits

  // note and legend on top, across the width
  double top = kMargin;
  if (!f.note.empty()) {
    paint.text(f.note, kMargin, top + ascent, Anchor::start, false, s.width - 2 * kMargin);
    top += line_height;
  }
  const std::vector<Entry> entries = legend_entries(f);
  if (entries.size() >= 2) {
    double x = kMargin;
    for (const Entry& e : entries) {
      const double width = kLegendSample + 3 + text_width(e.label, size) + 8;
      if (x > kMargin && x + width > s.width - kMargin) x = kMargin, top += line_height;
      paint.sample(e, x + kLegendSample / 2, top + line_height / 2);
      paint.text(e.label, x + kLegendSample + 3, top + line_height / 2 + ascent / 2, Anchor::start, false,
                 s.width - kMargin - (x + kLegendSample + 3));
      x += width;
    }
    top += line_height;
  }
  top += size * 0.6;

  const Range xr = x_range(f);
  const Ticks xt = xr.empty() ? Ticks{0, 1, 2} : round_ticks(xr.lo, xr.hi);
  const auto panels = static_cast<int>(f.panels.size());
  std::vector<Ticks> yt(f.panels.size());
  double label_width = 0;
  for (int p = 0; p < panels; ++p) {
    const Range yr = y_range(f, p);
    yt[p] = yr.empty() ? Ticks{0, 1, 2} : round_ticks(yr.lo, yr.hi);
    for (int k = 0; k < yt[p].count; ++k)
      label_width =
          std::max(label_width, text_width(tick_label(yt[p].first + k * yt[p].step, yt[p].step), size));
  }
  const double left = kMargin + size * 1.1 + 3 + label_width + 2 + kTickLength;
  const double right = s.width - kMargin - text_width(tick_label(xt.last(), xt.step), size) / 2;
  const double bottom = s.height - kMargin - size * 0.3 - ascent - 4 - ascent - 2 - kTickLength;
  const double gap = size * 1.2;
  const double panel_height = (bottom - top - gap * (panels - 1)) / panels;
  const auto px = [&](double x) { return left + (x - xt.first) / (xt.last() - xt.first) * (right - left); };

  for (int p = 0; p < panels; ++p) {
    const double ptop = top + p * (panel_height + gap), pbottom = ptop + panel_height;
    const Ticks& t = yt[p];
    const auto py = [&](double y) {
      // far beyond the panel a value is held where the clip hides it
      const double span = t.last() - t.first;
      y = std::clamp(y, t.first - 2 * span, t.last() + 2 * span);
      return pbottom - (y - t.first) / span * panel_height;
    };
    const int clip = static_cast<int>(s.clips.size());
    s.clips.push_back({left, ptop, right - left, panel_height});

    for (const Band& b : f.bands) {
      if (b.panel != p) continue;
      const auto runs = finite_runs(b.x.size(), [&](std::size_t i) {
        return std::isfinite(b.x[i]) && std::isfinite(b.lower[i]) && std::isfinite(b.upper[i]);
      });
      for (auto [begin, end] : runs) {
        std::vector<Point> outline;
        for (std::size_t i = begin; i < end; ++i) outline.push_back({px(b.x[i]), py(b.upper[i])});
        for (std::size_t i = end; i-- > begin;) outline.push_back({px(b.x[i]), py(b.lower[i])});
        paint.area(std::move(outline), kBandGrey, 0, clip);
      }
    }
    for (const Line& l : f.lines) {
      if (l.panel != p) continue;
      const auto runs = finite_runs(
          l.x.size(), [&](std::size_t i) { return std::isfinite(l.x[i]) && std::isfinite(l.y[i]); });
      for (auto [begin, end] : runs) {
        if (end - begin < 2) continue;
        std::vector<Point> path;
        for (std::size_t i = begin; i < end; ++i) path.push_back({px(l.x[i]), py(l.y[i])});
        paint.line(std::move(path), kCurveWidth, l.stroke, l.grey, clip);
      }
    }
    for (const Points& pts : f.points) {
      if (pts.panel != p) continue;
      double most = 0, least = kInf;
      for (double w : pts.weight) most = std::max(most, w), least = std::min(least, w);
      if (least == most) most = 0;  // equal weights tell nothing
      const double clip_above = std::isnan(f.panels[p].clip_above) ? kInf : f.panels[p].clip_above;
      for (std::size_t i = 0; i < pts.x.size(); ++i) {
        if (!std::isfinite(pts.x[i]) || !std::isfinite(pts.y[i]) || pts.y[i] > clip_above) continue;
        const double x = px(pts.x[i]), y = py(pts.y[i]);
        if (pts.rug) {
          paint.line({{x, y - 2.5}, {x, y + 2.5}}, kSymbolWidth);
          continue;
        }
        // without (telling) weights every symbol has the size of a middling one
        const double r =
            most > 0 && i < pts.weight.size() ? std::max(1.3, 3.2 * std::sqrt(pts.weight[i] / most)) : 2.0;
        paint.symbol(pts.shape, x, y, r, -1, kSymbolWidth);
      }
    }
    for (const Marker& m : f.markers)
      if (m.panel == p && std::isfinite(m.x) && std::isfinite(m.y))
        paint.symbol(m.shape, px(m.x), py(m.y), kMarkerRadius, 0, kSymbolWidth);

    // axes: the left and the bottom line, ticks outwards
    paint.line({{left, ptop}, {left, pbottom}, {right, pbottom}}, kAxisWidth);
    for (int k = 0; k < t.count; ++k) {
      const double value = t.first + k * t.step, y = py(value);
      paint.line({{left - kTickLength, y}, {left, y}}, kAxisWidth);
      paint.text(tick_label(value, t.step), left - kTickLength - 2, y + ascent / 2, Anchor::end);
    }
    paint.text(f.panels[p].y_title, kMargin + size * 0.85, (ptop + pbottom) / 2, Anchor::middle, true,
               pbottom - ptop + gap);
    for (int k = 0; k < xt.count; ++k) {
      const double value = xt.first + k * xt.step, x = px(value);
      paint.line({{x, pbottom}, {x, pbottom + kTickLength}}, kAxisWidth);
      if (p == panels - 1)
        paint.text(tick_label(value, xt.step), x, pbottom + kTickLength + 2 + ascent, Anchor::middle);
    }
  }
  // the axis title centred under the axis where it fits, else on the page
  const double title_width = std::min(text_width(f.x_title, size), s.width - 2 * kMargin);
  const double centre =
      std::clamp((left + right) / 2, kMargin + title_width / 2, s.width - kMargin - title_width / 2);
  paint.text(f.x_title, centre, s.height - kMargin - size * 0.3, Anchor::middle, false,
             s.width - 2 * kMargin);
  return s;
}

}  // namespace plotlib::figure
