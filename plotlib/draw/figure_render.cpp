// The laid-out figure drawn by cairo (PNG, PDF) and written as SVG text of our own, whose texts stay
// <text> elements a drawing program can edit (cairo's SVG would write them as outlines).
#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <numbers>
#include <sstream>

#include "plotlib/draw/figure_scene.h"
#include "plotlib/draw/png_file.h"

namespace plotlib::figure {

namespace {

constexpr double kPngDotsPerInch = 300;

void select_font(cairo_t* cr, double size) {
  cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  // metrics as the font designs them, so that every file places a text alike
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

double anchored_x(const TextItem& t, double width) {
  switch (t.anchor) {
    case Anchor::start:
      return 0;
    case Anchor::middle:
      return -width / 2;
    case Anchor::end:
      return -width;
  }
  return 0;
}

void draw(cairo_t* cr, const Scene& s) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  for (const PathItem& p : s.paths) {
    if (p.points.empty()) continue;
    cairo_save(cr);
    if (p.clip >= 0) {
      const Rect& r = s.clips[static_cast<std::size_t>(p.clip)];
      cairo_rectangle(cr, r.x, r.y, r.w, r.h);
      cairo_clip(cr);
    }
    if (p.radius > 0) {
      cairo_new_sub_path(cr);
      cairo_arc(cr, p.points[0].x, p.points[0].y, p.radius, 0, 2 * std::numbers::pi);
    } else {
      cairo_move_to(cr, p.points[0].x, p.points[0].y);
      for (std::size_t i = 1; i < p.points.size(); ++i) cairo_line_to(cr, p.points[i].x, p.points[i].y);
    }
    if (p.closed) cairo_close_path(cr);
    if (p.fill >= 0) {
      cairo_set_source_rgb(cr, p.fill, p.fill, p.fill);
      if (p.stroke_width > 0)
        cairo_fill_preserve(cr);
      else
        cairo_fill(cr);
    }
    if (p.stroke_width > 0) {
      const std::vector<double> dashes = dash_pattern(p.stroke);
      cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), 0);
      cairo_set_line_cap(cr, dashes.empty() ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
      cairo_set_line_width(cr, p.stroke_width);
      cairo_set_source_rgb(cr, p.stroke_grey, p.stroke_grey, p.stroke_grey);
      cairo_stroke(cr);
    }
    cairo_restore(cr);
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (const TextItem& t : s.texts) {
    if (t.text.empty()) continue;
    select_font(cr, t.size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, t.text.c_str(), &extents);
    cairo_save(cr);
    cairo_translate(cr, t.x, t.y);
    if (t.vertical) cairo_rotate(cr, -std::numbers::pi / 2);
    cairo_move_to(cr, anchored_x(t, extents.x_advance), 0);
    cairo_show_text(cr, t.text.c_str());
    cairo_restore(cr);
  }
}

bool finish(cairo_surface_t* surface, cairo_t* cr) {
  const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  const bool written = ok && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return written;
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char ch : text) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += ch;
    }
  }
  return out;
}

// Two decimals of a point are finer than any printer; trailing zeros dropped ("8", "12.5").
std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  std::string s = text;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::string exact(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

std::string millimetres(double points) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6gmm", points * 25.4 / 72);
  return text;
}

}  // namespace

double text_width(const std::string& text, double size_pt) {
  // one measuring context; fontconfig is not reentrant on every platform
  static std::mutex lock;
  static cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  static cairo_t* cr = cairo_create(surface);
  const std::lock_guard<std::mutex> guard(lock);
  select_font(cr, size_pt);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

bool write_png(const Scene& s, const std::string& name) {
  const double scale = kPngDotsPerInch / 72.0;
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(std::lround(s.width * scale)),
                                 static_cast<int>(std::lround(s.height * scale)));
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  draw(cr, s);
  cairo_surface_flush(surface);
  const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS && write_png_file(surface, name, kPngDotsPerInch);
  return finish(surface, cr) && ok;
}

bool write_pdf(const Scene& s, const std::string& name) {
  cairo_surface_t* surface = cairo_pdf_surface_create(name.c_str(), s.width, s.height);
  cairo_t* cr = cairo_create(surface);
  draw(cr, s);
  return finish(surface, cr);
}

bool write_svg(const Scene& s, const std::string& name) {
  std::ostringstream svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << millimetres(s.width)
      << "\" height=\"" << millimetres(s.height) << "\" viewBox=\"0 0 " << exact(s.width) << ' '
      << exact(s.height) << "\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n<defs>\n";
  for (std::size_t i = 0; i < s.clips.size(); ++i)
    svg << "<clipPath id=\"panel" << i << "\"><rect x=\"" << number(s.clips[i].x) << "\" y=\""
        << number(s.clips[i].y) << "\" width=\"" << number(s.clips[i].w) << "\" height=\""
        << number(s.clips[i].h) << "\"/></clipPath>\n";
  svg << "</defs>\n";
  const auto grey = [](double level) {
    const int v = static_cast<int>(std::lround(std::clamp(level, 0.0, 1.0) * 255));
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", v, v, v);
    return std::string(text);
  };
  for (const PathItem& p : s.paths) {
    if (p.points.empty()) continue;
    if (p.radius > 0) {
      svg << "<circle cx=\"" << number(p.points[0].x) << "\" cy=\"" << number(p.points[0].y) << "\" r=\""
          << number(p.radius) << '"';
    } else {
      svg << "<path d=\"";
      for (std::size_t i = 0; i < p.points.size(); ++i)
        svg << (i == 0 ? "M" : " L") << number(p.points[i].x) << ' ' << number(p.points[i].y);
      if (p.closed) svg << " Z";
      svg << '"';
    }
    svg << " fill=\"" << (p.fill >= 0 ? grey(p.fill) : "none") << '"';
    if (p.stroke_width > 0) {
      const std::vector<double> dashes = dash_pattern(p.stroke);
      svg << " stroke=\"" << grey(p.stroke_grey) << "\" stroke-width=\"" << number(p.stroke_width)
          << "\" stroke-linejoin=\"round\" stroke-linecap=\"" << (dashes.empty() ? "round" : "butt") << '"';
      if (!dashes.empty())
        svg << " stroke-dasharray=\"" << number(dashes[0]) << ' ' << number(dashes[1]) << '"';
    }
    if (p.clip >= 0) svg << " clip-path=\"url(#panel" << p.clip << ")\"";
    svg << "/>\n";
  }
  for (const TextItem& t : s.texts) {
    if (t.text.empty()) continue;
    static constexpr const char* kAnchors[] = {"start", "middle", "end"};
    svg << "<text x=\"" << number(t.x) << "\" y=\"" << number(t.y) << "\" font-family=\"" << kFontFamily
        << ", Arial, Helvetica, sans-serif\" font-size=\"" << number(t.size) << "\" text-anchor=\""
        << kAnchors[static_cast<int>(t.anchor)] << '"';
    if (t.vertical) svg << " transform=\"rotate(-90 " << number(t.x) << ' ' << number(t.y) << ")\"";
    svg << '>' << escaped(t.text) << "</text>\n";
  }
  svg << "</svg>\n";
  std::ofstream file(name, std::ios::trunc);
  file << svg.str();
  return static_cast<bool>(file.flush());
}

std::vector<unsigned char> rendered_pixels(const Scene& s, int w, int h) {
  std::vector<unsigned char> pixels;
  if (w <= 0 || h <= 0 || s.width <= 0 || s.height <= 0) return pixels;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  const double scale = std::min(w / s.width, h / s.height);
  cairo_translate(cr, (w - s.width * scale) / 2, (h - s.height * scale) / 2);
  cairo_scale(cr, scale, scale);
  draw(cr, s);
  cairo_surface_flush(surface);
  if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) {
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    pixels.reserve(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint32_t v;
        std::memcpy(&v, data + y * stride + 4 * x, 4);  // 0x00RRGGBB in the machine's order
        pixels.insert(pixels.end(), {static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
                                     static_cast<unsigned char>(v)});
      }
  }
  finish(surface, cr);
  return pixels;
}

bool write_figure(const Figure& figure, const std::string& stem) {
  return write_scene(lay_out(figure), stem);
}

bool write_scene(const Scene& scene, const std::string& stem) {
  const bool png = write_png(scene, stem + ".png");
  const bool svg = write_svg(scene, stem + ".svg");
  const bool pdf = write_pdf(scene, stem + ".pdf");
  return png && svg && pdf;
}

}  // namespace plotlib::figure
