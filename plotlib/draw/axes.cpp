// graf: the axis system with its ticks, labels and names; title: the title lines above it; messag:
// texts that the caller places on the page.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "plotlib/draw/font_metrics.h"
#include "plotlib/draw/plotlib.h"
#include "plotlib/draw/state.h"

namespace plotlib {
namespace detail {

// Text of an axis label: fixed point with `digits` decimals, or rounded to an integer for -1.
std::string label_text(float value, int digits) {
  char buf[160];
  if (digits < 0)
    std::snprintf(buf, sizeof buf, "%.0f", std::round(static_cast<double>(value)));
  else
    std::snprintf(buf, sizeof buf, "%.*f", digits, static_cast<double>(value));
  std::string text = buf;
  // a value that rounds to zero shows no sign
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

}  // namespace detail

namespace {

using detail::nint;
using detail::state;

constexpr int kMinorTick = 16;
constexpr int kMajorTick = 24;
constexpr int kLabelDistance = 24;  // from the end of a major tick
constexpr int kNameDistance = 30;   // from the labels
constexpr int kLabelOffset = kMajorTick + kLabelDistance;
constexpr int kNameOffset = kLabelOffset + kNameDistance;
constexpr double kIndexLimit = 1e6;  // an absurdly small step must not overflow the loop counters

enum class Side { bottom, left, top, right };

// Warns about one axis; true when the axis cannot be drawn (warnings 9 and 10).
bool check_axis(float a, float e, float first, float step) {
  bool fatal = false;
  if (std::fabs(e - a) < 1e-35f) {
    detail::warn(10, "graf");
    fatal = true;
  }
  if (std::fabs(step) < 1e-35f) {
    detail::warn(9, "graf");
    fatal = true;
  }
  const float lo = std::min(a, e), hi = std::max(a, e);
  if (first < lo || first > hi) detail::warn(12, "graf");
  if ((a < e && step < 0.0f) || (a >= e && step > 0.0f)) detail::warn(50, "graf");
  return fatal;
}

int truncated_index(double v) {
  return static_cast<int>(std::clamp(std::trunc(v), -kIndexLimit, kIndexLimit));
}

struct SideGeometry {
  bool horizontal;  // the axis runs along x
  int fixed;        // the page coordinate of the axis line across the axis
  int out;          // +1 or -1: the direction out of the axis system
};

SideGeometry geometry(Side side) {
  const detail::State& s = state();
  switch (side) {
    case Side::bottom:
      return {true, s.nya, +1};
    case Side::left:
      return {false, s.nxa, -1};
    case Side::top:
      return {true, s.nya - s.nyl + 1, -1};
    case Side::right:
      return {false, s.nxa + s.nxl - 1, +1};
  }
  return {};
}

PagePoint at(const SideGeometry& g, int along, int across) {
  return g.horizontal ? PagePoint{along, across} : PagePoint{across, along};
}

void axis_line(const SideGeometry& g) {
  const detail::State& s = state();
  if (g.horizontal)
    detail::line({s.nxa, g.fixed}, {s.nxa + s.nxl - 1, g.fixed});
  else
    detail::line({g.fixed, s.nya}, {g.fixed, s.nya - s.nyl + 1});
}

double axis_position(const SideGeometry& g, double v) {
  return g.horizontal ? detail::scale_x(v) : detail::scale_y(v);
}

void tick_marks(const SideGeometry& g, const detail::AxisScale& scale, int n) {
  if (n == 0) return;
  const float t = scale.step / static_cast<float>(n);  // tick spacing
  const int first = -truncated_index((scale.first - scale.a) / t + 0.0001);
  const int last = truncated_index((scale.e - scale.first) / t + 0.0001);
  bool outwards = true;  // alternate the direction to keep the pen path short
  for (int i = first; i <= last; ++i) {
    const float v = scale.first + static_cast<float>(i) * t;
    const int along = nint(axis_position(g, v));
    const int length = i % n == 0 ? kMajorTick : kMinorTick;
    const PagePoint on_axis = at(g, along, g.fixed);
    const PagePoint tip = at(g, along, g.fixed + g.out * length);
    if (outwards)
      detail::line(on_axis, tip);
    else
      detail::line(tip, on_axis);
    outwards = !outwards;
  }
}

// Draws the labels; returns the width of the widest one.
double labels(const SideGeometry& g, const detail::AxisScale& scale, int digits) {
  const detail::State& s = state();
  const int h = s.label_height;
  const int count = truncated_index((scale.e - scale.first) / scale.step + 0.0001);
  double widest = 0.0;
  for (int k = 0; k <= count; ++k) {
    const float v = scale.first + static_cast<float>(k) * scale.step;
    const std::string text = detail::label_text(v, digits);
    const double w = text_width(text, h);
    widest = std::max(widest, w);
    const double pos = axis_position(g, v);
    if (g.horizontal)  // centred below the axis
      detail::draw_text(text, pos - w / 2.0, g.fixed + kLabelOffset, h, 0);
    else  // right-aligned left of the axis, centred on the position
      detail::draw_text(text, g.fixed - kLabelOffset - w, pos - h / 2.0, h, 0);
  }
  return widest;
}

void axis_name(const SideGeometry& g, const std::string& text, double widest_label) {
  if (text.empty()) return;
  const detail::State& s = state();
  const int h = s.name_height;
  const double w = text_width(text, h);
  if (g.horizontal) {
    const double centre = s.nxa + (s.nxl - 1) / 2.0;
    detail::draw_text(text, centre - w / 2.0, g.fixed + kNameOffset + s.label_height, h, 0);
  } else {  // reads upwards: the text starts at the bottom, its top faces left
    const double centre = s.nya - (s.nyl - 1) / 2.0;
    detail::draw_text(text, g.fixed - kNameOffset - widest_label - h, centre + w / 2.0, h, 90);
  }
}

}  // namespace

void graf(float xa, float xe, float xor_, float xstep, float ya, float ye, float yor, float ystep) {
  if (!detail::level_ok("graf", 1, 1)) return;
  detail::State& s = state();
  s.level = 2;
  const bool x_bad = check_axis(xa, xe, xor_, xstep);
  const bool y_bad = check_axis(ya, ye, yor, ystep);
  if (x_bad || y_bad) {
    s.level = 1;
    return;
  }
  s.xscale = {xa, xe, xor_, xstep};
  s.yscale = {ya, ye, yor, ystep};

  // curves stay just inside the axis lines
  const int margin = s.device->clip_margin();
  s.clip_left = s.nxa + margin;
  s.clip_right = s.nxa + s.nxl - 1 - margin;
  s.clip_top = s.nya - s.nyl + 1 + margin;
  s.clip_bottom = s.nya - margin;

  for (const Side side : {Side::bottom, Side::left, Side::top, Side::right}) {
    const SideGeometry g = geometry(side);
    const bool horizontal = side == Side::bottom || side == Side::top;
    const detail::AxisSettings& axis = horizontal ? s.xaxis : s.yaxis;
    const detail::AxisScale& scale = horizontal ? s.xscale : s.yscale;
    axis_line(g);
    tick_marks(g, scale, axis.ticks);
    if (side == Side::bottom || side == Side::left) axis_name(g, axis.name, labels(g, scale, axis.digits));
  }

  // frame of thickness 1
  const int right = s.nxa + s.nxl - 1, top = s.nya - s.nyl + 1;
  detail::move_to({s.nxa, s.nya});
  detail::line_to({right, s.nya});
  detail::line_to({right, top});
  detail::line_to({s.nxa, top});
  detail::line_to({s.nxa, s.nya});
}

void title() {
  if (!detail::level_ok("title", 2, 2)) return;
  const detail::State& s = state();
  const double h = s.label_height;
  const double centre = s.nxa + (s.nxl - 1) / 2.0;
  for (int k = 1; k <= 4; ++k) {
    const detail::TitleLine& line = s.titles[static_cast<std::size_t>(k - 1)];
    if (line.text.empty()) continue;
    const double w = text_width(line.text, h);
    const double x = centre - w / 2.0;
    const double y = (s.nya - s.nyl) - 1.5 * h * (4 - k) - 3.0 * h;  // line 4 closest to the axis system
    detail::draw_text(line.text, x, y, s.label_height, 0);
    if (line.underlined) {
      const int yu = nint(y + 1.2 * h);
      detail::line({nint(x - h / 2.0), yu}, {nint(x + w + h / 2.0), yu});
    }
  }
}

void messag(std::string_view text, int nx, int ny) {
  if (!detail::level_ok("messag", 1, 2)) return;
  detail::draw_text(text, nx, ny, state().label_height, 0);
}

int nlmess(std::string_view text) { return nint(text_width(text, state().label_height)); }

}  // namespace plotlib
