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
  r.add(f.panels[panel].y_from, clip);
  r.add(f.panels[panel].y_to, clip);
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
  double fill = -1;
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
  for (const Points& p : f.points)
    add({Entry::Kind::points, p.label, Stroke::solid, 0, p.shape, p.rug, p.fill});
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
          symbol(e.shape, x, y, 2.2, e.fill, kSymbolWidth);
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

// One panel's place on the page and its vertical axis.
struct PanelFrame {
  int index;
  double top, bottom, height;
  const Ticks& t;
  int clip;  // of the scene
  double py(double y) const {
    // far beyond the panel a value is held where the clip hides it
    const double span = t.last() - t.first;
    y = std::clamp(y, t.first - 2 * span, t.last() + 2 * span);
    return bottom - (y - t.first) / span * height;
  }
};

// The figure laid out from the top down: note and legend, the panels sharing the horizontal axis, its
// title.
class Layout {
 public:
  Layout(const Figure& f, Scene& s)
      : f_(f), s_(s), paint_(f, s), size_(f.font_pt), line_height_(size_ * 1.3), ascent_(size_ * 0.76) {}

  void header();
  void frame();
  void panel(int p);
  void x_title();

 private:
  void note();
  void legend();
  void bands(const PanelFrame& pf);
  void lines(const PanelFrame& pf);
  void points(const PanelFrame& pf);
  void markers(const PanelFrame& pf);
  void labels(const PanelFrame& pf);
  void axes(const PanelFrame& pf);
  double px(double x) const { return left_ + (x - xt_.first) / (xt_.last() - xt_.first) * (right_ - left_); }

  const Figure& f_;
  Scene& s_;
  Painter paint_;
  const double size_, line_height_;
  const double ascent_;   // of the font's capitals and digits
  double top_ = kMargin;  // of what is still to be laid out
  Ticks xt_;
  std::vector<Ticks> yt_;
  double left_ = 0, right_ = 0, bottom_ = 0, gap_ = 0, panel_height_ = 0;  // of the plot area
};

// Note and legend on top, across the width.
void Layout::header() {
  note();
  legend();
  top_ += size_ * 0.6;
}

void Layout::note() {
  if (f_.note.empty()) return;
  paint_.text(f_.note, kMargin, top_ + ascent_, Anchor::start, false, s_.width - 2 * kMargin);
  top_ += line_height_;
}

// The legend's entries in rows, a new row where the next does not fit; none for a single entry.
void Layout::legend() {
  const std::vector<Entry> entries = legend_entries(f_);
  if (entries.size() < 2) return;
  double x = kMargin;
  for (const Entry& e : entries) {
    const double width = kLegendSample + 3 + text_width(e.label, size_) + 8;
    if (x > kMargin && x + width > s_.width - kMargin) x = kMargin, top_ += line_height_;
    paint_.sample(e, x + kLegendSample / 2, top_ + line_height_ / 2);
    paint_.text(e.label, x + kLegendSample + 3, top_ + line_height_ / 2 + ascent_ / 2, Anchor::start, false,
                s_.width - kMargin - (x + kLegendSample + 3));
    x += width;
  }
  top_ += line_height_;
}

// The ticks of every axis, and the plot area left by the widest tick label and the horizontal axis's
// labels and title.
void Layout::frame() {
  const Range xr = x_range(f_);
  xt_ = xr.empty() ? Ticks{0, 1, 2} : round_ticks(xr.lo, xr.hi);
  const auto panels = static_cast<int>(f_.panels.size());
  yt_.resize(f_.panels.size());
  double label_width = 0;
  for (int p = 0; p < panels; ++p) {
    const Range yr = y_range(f_, p);
    yt_[p] = yr.empty() ? Ticks{0, 1, 2} : round_ticks(yr.lo, yr.hi);
    for (int k = 0; k < yt_[p].count; ++k)
      label_width =
          std::max(label_width, text_width(tick_label(yt_[p].first + k * yt_[p].step, yt_[p].step), size_));
  }
  left_ = kMargin + size_ * 1.1 + 3 + label_width + 2 + kTickLength;
  right_ = s_.width - kMargin - text_width(tick_label(xt_.last(), xt_.step), size_) / 2;
  bottom_ = s_.height - kMargin - size_ * 0.3 - ascent_ - 4 - ascent_ - 2 - kTickLength;
  gap_ = size_ * 1.2;
  panel_height_ = (bottom_ - top_ - gap_ * (panels - 1)) / panels;
}

void Layout::panel(int p) {
  const double ptop = top_ + p * (panel_height_ + gap_);
  const PanelFrame pf{
      p, ptop, ptop + panel_height_, panel_height_, yt_[p], static_cast<int>(s_.clips.size())};
  s_.clips.push_back({left_, ptop, right_ - left_, panel_height_});
  bands(pf);
  lines(pf);
  points(pf);
  labels(pf);
  markers(pf);
  axes(pf);
}

void Layout::bands(const PanelFrame& pf) {
  for (const Band& b : f_.bands) {
    if (b.panel != pf.index) continue;
    const auto runs = finite_runs(b.x.size(), [&](std::size_t i) {
      return std::isfinite(b.x[i]) && std::isfinite(b.lower[i]) && std::isfinite(b.upper[i]);
    });
    for (auto [begin, end] : runs) {
      std::vector<Point> outline;
      for (std::size_t i = begin; i < end; ++i) outline.push_back({px(b.x[i]), pf.py(b.upper[i])});
      for (std::size_t i = end; i-- > begin;) outline.push_back({px(b.x[i]), pf.py(b.lower[i])});
      paint_.area(std::move(outline), kBandGrey, 0, pf.clip);
    }
  }
}

void Layout::lines(const PanelFrame& pf) {
  for (const Line& l : f_.lines) {
    if (l.panel != pf.index) continue;
    const auto runs = finite_runs(
        l.x.size(), [&](std::size_t i) { return std::isfinite(l.x[i]) && std::isfinite(l.y[i]); });
    for (auto [begin, end] : runs) {
      if (end - begin < 2) continue;
      std::vector<Point> path;
      for (std::size_t i = begin; i < end; ++i) path.push_back({px(l.x[i]), pf.py(l.y[i])});
      paint_.line(std::move(path), kCurveWidth, l.stroke, l.grey, pf.clip);
    }
  }
}

void Layout::points(const PanelFrame& pf) {
  const double clip_above =
      std::isnan(f_.panels[pf.index].clip_above) ? kInf : f_.panels[pf.index].clip_above;
  for (const Points& pts : f_.points) {
    if (pts.panel != pf.index) continue;
    double most = 0, least = kInf;
    for (double w : pts.weight) most = std::max(most, w), least = std::min(least, w);
    if (least == most) most = 0;  // equal weights tell nothing
    for (std::size_t i = 0; i < pts.x.size(); ++i) {
      if (!std::isfinite(pts.x[i]) || !std::isfinite(pts.y[i]) || pts.y[i] > clip_above) continue;
      const double x = px(pts.x[i]), y = pf.py(pts.y[i]);
      if (pts.rug) {
        paint_.line({{x, y - 2.5}, {x, y + 2.5}}, kSymbolWidth);
        continue;
      }
      // without (telling) weights every symbol has the size of a middling one
      const double r =
          most > 0 && i < pts.weight.size() ? std::max(1.3, 3.2 * std::sqrt(pts.weight[i] / most)) : 2.0;
      paint_.symbol(pts.shape, x, y, r, pts.fill, kSymbolWidth);
    }
  }
}

void Layout::markers(const PanelFrame& pf) {
  for (const Marker& m : f_.markers)
    if (m.panel == pf.index && std::isfinite(m.x) && std::isfinite(m.y))
      paint_.symbol(m.shape, px(m.x), pf.py(m.y), kMarkerRadius, 0, kSymbolWidth);
}

// Each label on a white box that hides what lies under it, within the panel.
void Layout::labels(const PanelFrame& pf) {
  for (const Label& l : f_.labels) {
    if (l.panel != pf.index || !std::isfinite(l.x) || !std::isfinite(l.y)) continue;
    const double x = px(l.x), y = pf.py(l.y), half = text_width(l.text, size_) / 2 + 1;
    const double top = y - ascent_ / 2 - 1, bottom = y + ascent_ / 2 + 1;
    paint_.area({{x - half, top}, {x + half, top}, {x + half, bottom}, {x - half, bottom}}, 1, 0, pf.clip);
    paint_.text(l.text, x, y + ascent_ / 2, Anchor::middle);
  }
}

// The left and the bottom line, ticks outwards; the horizontal axis's labels under the last panel only.
void Layout::axes(const PanelFrame& pf) {
  paint_.line({{left_, pf.top}, {left_, pf.bottom}, {right_, pf.bottom}}, kAxisWidth);
  for (int k = 0; k < pf.t.count; ++k) {
    const double value = pf.t.first + k * pf.t.step, y = pf.py(value);
    paint_.line({{left_ - kTickLength, y}, {left_, y}}, kAxisWidth);
    paint_.text(tick_label(value, pf.t.step), left_ - kTickLength - 2, y + ascent_ / 2, Anchor::end);
  }
  paint_.text(f_.panels[pf.index].y_title, kMargin + size_ * 0.85, (pf.top + pf.bottom) / 2, Anchor::middle,
              true, pf.bottom - pf.top + gap_);
  const bool last = pf.index == static_cast<int>(f_.panels.size()) - 1;
  for (int k = 0; k < xt_.count; ++k) {
    const double value = xt_.first + k * xt_.step, x = px(value);
    paint_.line({{x, pf.bottom}, {x, pf.bottom + kTickLength}}, kAxisWidth);
    if (last)
      paint_.text(tick_label(value, xt_.step), x, pf.bottom + kTickLength + 2 + ascent_, Anchor::middle);
  }
}

// The axis title centred under the axis where it fits, else on the page.
void Layout::x_title() {
  const double title_width = std::min(text_width(f_.x_title, size_), s_.width - 2 * kMargin);
  const double centre =
      std::clamp((left_ + right_) / 2, kMargin + title_width / 2, s_.width - kMargin - title_width / 2);
  paint_.text(f_.x_title, centre, s_.height - kMargin - size_ * 0.3, Anchor::middle, false,
              s_.width - 2 * kMargin);
}

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
  Layout layout(f, s);
  layout.header();
  layout.frame();
  for (int p = 0; p < static_cast<int>(f.panels.size()); ++p) layout.panel(p);
  layout.x_title();
  return s;
}

Scene side_by_side(const std::vector<Figure>& figures) {
  Scene whole;
  for (const Figure& f : figures) {
    Scene part = lay_out(f);
    const double dx = whole.width;
    const int clips = static_cast<int>(whole.clips.size());
    for (Rect r : part.clips) whole.clips.push_back({r.x + dx, r.y, r.w, r.h});
    for (PathItem p : part.paths) {
      for (Point& q : p.points) q.x += dx;
      if (p.clip >= 0) p.clip += clips;
      whole.paths.push_back(std::move(p));
    }
    for (TextItem t : part.texts) {
      t.x += dx;
      whole.texts.push_back(std::move(t));
    }
    whole.width += part.width;
    whole.height = std::max(whole.height, part.height);
  }
  return whole;
}

}  // namespace plotlib::figure
