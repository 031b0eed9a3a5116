#include "plotlib/draw/figure_device.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <future>
#include <numbers>

#include "plotlib/draw/png_file.h"

namespace plotlib {

namespace {

// The stroker's work grows faster than the path: a long path is stroked in parts, each ending at a move.
constexpr int kSegmentsPerStroke = 256;

// Draws the recorded page on a cairo context whose user unit is one plot unit: black on white, or on a
// grey image (an alpha-only surface whose alpha is the brightness) white paper whose alpha the ink takes
// away.
void render(cairo_t* cr, const Recording& page, bool grey) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  if (grey) cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OUT);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, kLineWidthPoints / kPointsPerUnit);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  FontSpec font;
  int segments = 0;  // in the path not yet stroked
  for (const Recording::Op& op : page.ops) {
    switch (op.kind) {
      case Recording::Op::Kind::move:
        if (segments >= kSegmentsPerStroke) {
          cairo_stroke(cr);
          segments = 0;
        }
        cairo_move_to(cr, op.point.x, op.point.y);
        break;
      case Recording::Op::Kind::draw:
        if (!cairo_has_current_point(cr)) cairo_move_to(cr, op.point.x, op.point.y);
        cairo_line_to(cr, op.point.x, op.point.y);
        ++segments;
        break;
      case Recording::Op::Kind::font:
        font = op.font;
        break;
      case Recording::Op::Kind::text: {
        cairo_stroke(cr);  // the lines so far, before the path is used for text
        const TextRun& run = op.text;
        cairo_select_font_face(cr, "sans-serif",
                               font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                               font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        // The height is the character cell's, as on the other devices: the em is the part of it that
        // the font's ascent and descent leave, and the cell's top lies the rest above the text box.
        cairo_set_font_size(cr, run.height);
        cairo_font_extents_t cell;
        cairo_font_extents(cr, &cell);
        const double em = run.height * run.height / (cell.ascent + cell.descent);
        const double baseline = cell.ascent * em / run.height - (run.height - em);
        cairo_set_font_size(cr, em);
        const double angle = run.angle * std::numbers::pi / 180.0;
        for (std::size_t i = 0; i < run.text.size(); ++i) {
          cairo_save(cr);
          cairo_translate(cr, run.char_x(i), run.char_y(i));
          cairo_rotate(cr, -angle);
          cairo_move_to(cr, 0, baseline);
          const char glyph[2] = {run.text[i], 0};
          cairo_show_text(cr, glyph);
          cairo_restore(cr);
        }
        cairo_new_path(cr);
        break;
      }
    }
  }
  cairo_stroke(cr);
}

// Renders on a surface scaled from plot units by `scale`; true when the surface has no error.
bool render_on(cairo_surface_t* surface, const Recording& page, double scale) {
  const bool grey = cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_IMAGE &&
                    cairo_image_surface_get_format(surface) == CAIRO_FORMAT_A8;
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  // metrics as the font designs them: hinting would round them to the pixels of a small scale
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  render(cr, page, grey);
  const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  return ok;
}

// The grey PNG of the page at its resolution.
bool write_png(const Recording& page, const std::string& name) {
  const double scale = kPngDotsPerInch / 254.0;  // pixels per plot unit
  cairo_surface_t* png =
      cairo_image_surface_create(CAIRO_FORMAT_A8, static_cast<int>(std::lround((page.xmax + 1) * scale)),
                                 static_cast<int>(std::lround((page.ymax + 1) * scale)));
  const bool ok = render_on(png, page, scale) && write_png_file(png, name, kPngDotsPerInch);
  cairo_surface_destroy(png);
  return ok;
}

// Renders the page on a vector surface in points and completes its file.
bool write_vector(cairo_surface_t* surface, const Recording& page) {
  const bool rendered = render_on(surface, page, kPointsPerUnit);
  cairo_surface_finish(surface);
  const bool ok = rendered && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace

bool FigureDevice::open(int xmax, int ymax) {
  // the three names must be writable; nothing is kept of an earlier figure that failed
  for (const char* extension : {".png", ".svg", ".pdf"}) {
    std::ofstream probe(stem_ + extension, std::ios::app);
    if (!probe) return false;
  }
  return recorder_.open(xmax, ymax);
}

bool FigureDevice::close() {
  recorder_.close();
  const Recording& page = recorder_.recording();
  const double width = (page.xmax + 1) * kPointsPerUnit, height = (page.ymax + 1) * kPointsPerUnit;
  // the PNG is rendered on a thread of its own while the two vector files are written
  auto png = std::async(std::launch::async, write_png, std::cref(page), stem_ + ".png");
  bool ok = write_vector(cairo_svg_surface_create((stem_ + ".svg").c_str(), width, height), page);
  ok = write_vector(cairo_pdf_surface_create((stem_ + ".pdf").c_str(), width, height), page) && ok;
  return png.get() && ok;
}

}  // namespace plotlib
