#pragma once
// Figures for papers and slides, laid out on their own: a size in millimetres, text in points, round
// ticks, axis titles, a legend, and panels that share the horizontal axis. Written as PNG and PDF (cairo,
// the PDF's text extractable with its font embedded) and as SVG whose texts are <text> elements.
#include <string>
#include <vector>

namespace plotlib::figure {

enum class Stroke { solid, dashed, long_dashed, dotted };
enum class Shape { circle, square, triangle, diamond, star };

// A curve; a value that is not finite leaves a gap.
struct Line {
  std::string label;  // in the legend; empty: not named there
  std::vector<double> x, y;
  Stroke stroke = Stroke::solid;
  double grey = 0;  // 0 black to 1 white
  int panel = 0;
};

// A grey band between two curves.
struct Band {
  std::string label;
  std::vector<double> x, lower, upper;
  int panel = 0;
};

// Data points, symbols whose area grows with the weight (the count of cases a point stands for); as a
// rug (short vertical strokes at the values) where the points are 0/1 outcomes.
struct Points {
  std::string label;
  std::vector<double> x, y, weight;
  Shape shape = Shape::circle;
  bool rug = false;
  int panel = 0;
  double fill = -1;  // grey level inside the symbols; negative: open
};

// One point marked with a filled symbol, such as a chosen minimum.
struct Marker {
  std::string label;
  double x = 0, y = 0;
  Shape shape = Shape::star;
  int panel = 0;
};

// A text centred at a point of the plot on a white ground, such as a contour line's value.
struct Label {
  std::string text;
  double x = 0, y = 0;
  int panel = 0;
};

struct Panel {
  std::string y_title;
  // The vertical axis covers at least these values (panels side by side on one scale); NaN: its data's.
  double y_from = 0.0 / 0.0, y_to = 0.0 / 0.0;
  // Values above this are cut off at the panel's top (a score that explodes at one end of a grid);
  // NaN: the panel shows everything.
  double clip_above = 0.0 / 0.0;
};

struct Figure {
  double width_mm = 85, height_mm = 65;
  double font_pt = 8;
  std::string x_title;
  std::vector<Panel> panels{1};  // top down
  std::vector<Band> bands;
  std::vector<Line> lines;
  std::vector<Points> points;
  std::vector<Marker> markers;
  std::vector<Label> labels;
  std::string note;  // one line above the plot (the selection gradients); empty: none
};

// Round ticks covering [lo, hi]: steps of 1, 2 or 5 times a power of ten, from the largest multiple of
// the step at or below lo to the smallest at or above hi, about five of them.
struct Ticks {
  double first = 0, step = 1;
  int count = 0;  // ticks, first and last included
  double last() const { return first + step * (count - 1); }
};
Ticks round_ticks(double lo, double hi);

// A tick value as labelled: the decimals its step needs, no trailing zeros ("0.5", "120", "-2").
std::string tick_label(double value, double step);

// Writes `stem`.png (300 dpi), `stem`.svg and `stem`.pdf; false when one could not be written whole.
bool write_figure(const Figure& figure, const std::string& stem);

// The width of a text in points at a font size, in the figures' font.
double text_width(const std::string& text, double size_pt);

// The figures' font: the family cairo draws with and the SVG names first.
inline constexpr const char* kFontFamily = "DejaVu Sans";

}  // namespace plotlib::figure
