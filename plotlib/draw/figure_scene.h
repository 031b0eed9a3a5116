#pragma once
// A laid-out figure: paths and texts in points (origin at the top left, y downwards), which the PNG,
// PDF and SVG writers draw alike.
#include <string>
#include <vector>

#include "plotlib/draw/figure_layout.h"

namespace plotlib::figure {

struct Point {
  double x = 0, y = 0;
};

struct Rect {
  double x = 0, y = 0, w = 0, h = 0;
};

struct PathItem {
  std::vector<Point> points;  // a circle: its centre alone
  double radius = 0;          // > 0: a circle
  bool closed = false;
  double fill = -1;         // grey level of the fill; negative: none
  double stroke_width = 0;  // points; 0: no stroke
  double stroke_grey = 0;
  Stroke stroke = Stroke::solid;
  int clip = -1;  // index of the clip rectangle; -1: none
};

enum class Anchor { start, middle, end };

struct TextItem {
  std::string text;
  double x = 0, y = 0;  // on the baseline
  double size = 8;      // points
  Anchor anchor = Anchor::start;
  bool vertical = false;  // reads upwards, turned about (x, y)
};

struct Scene {
  double width = 0, height = 0;  // points
  std::vector<Rect> clips;
  std::vector<PathItem> paths;  // drawn first, in order
  std::vector<TextItem> texts;
};

Scene lay_out(const Figure& figure);

// The figures laid out each at its own size, left to right in one scene (panels of different traits).
Scene side_by_side(const std::vector<Figure>& figures);

// The dash pattern of a stroke in points (on, off); empty for solid lines.
std::vector<double> dash_pattern(Stroke stroke);

bool write_png(const Scene& scene, const std::string& name);
bool write_pdf(const Scene& scene, const std::string& name);
bool write_svg(const Scene& scene, const std::string& name);
// `stem`.png, `stem`.svg and `stem`.pdf, as write_figure.
bool write_scene(const Scene& scene, const std::string& stem);

// The scene drawn by cairo into w x h pixels, fitted and centred, white around it: red, green and blue
// bytes, row by row (for a window of the screen); empty where it cannot be drawn.
std::vector<unsigned char> rendered_pixels(const Scene& scene, int w, int h);

}  // namespace plotlib::figure
