#include "plotlib/draw/screen_device.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "plotlib/draw/font_metrics.h"
#include "plotlib/draw/plot_window.h"
#include "plotlib/draw/recording_device.h"

namespace plotlib {
namespace {

constexpr int kMaxPolyline = 50;
// Font names handed to the toolkit must outlive every use, so they are kept here.
const char* lasting_font_name(const std::string& name) {
  static std::set<std::string> names;
  return names.insert(name).first->c_str();
}

class ScreenDevice : public Device {
 public:
  ~ScreenDevice() override { destroy(); }

  std::string_view keyword() const override { return "XWIN"; }
  int clip_margin() const override { return static_cast<int>(std::lround(0.99 / scale_)) + 1; }

  bool open(int xmax, int ymax) override;
  void move(PagePoint p) override;
  void draw(PagePoint p) override;
  void font(const FontSpec& spec) override;
  void text(const TextRun& run) override;
  bool close() override;

 private:
  PagePoint to_pixels(PagePoint p) const;
  void flush();
  void set_title(const char* what);
  void destroy();
  // A cleared buffer of the window's size and the page's scale in it; false if none can be made.
  bool new_buffer();
  // Draws everything recorded so far again, into a buffer of the window's new size.
  void redraw_page();
  void paint_move(PagePoint p);
  void paint_draw(PagePoint p);
  void paint_font(const FontSpec& spec);
  void paint_text(const TextRun& run);

  std::unique_ptr<PlotWindow> window_;
  RecordingDevice page_;  // what was drawn, for a redraw at another size
  std::string title_;
  double scale_ = 1.0;             // pixels per plot unit
  std::vector<PagePoint> points_;  // pixel positions of the pending polyline
  Fl_Font font_ = FL_HELVETICA;
  int number_ = 1;
};

bool ScreenDevice::open(int xmax, int ymax) {
  fl_open_display();
  int sx, sy, sw, sh;
  Fl::screen_xywh(sx, sy, sw, sh, 0);
  WindowGeometry g = plot_window_geometry(xmax, ymax, sw, sh, 0, 0);
  window_ = std::make_unique<PlotWindow>(sx + g.x, sy + g.y, g.w, g.h);
  window_->end();
  set_title("working");
  window_->show();
  window_->wait_for_expose();
  // the frame is known only now, and the toolkit may have moved the window to fit a frame it guessed:
  // place it again so that the frame touches the corner
  const int frame = (window_->decorated_w() - window_->w()) / 2;
  const int caption = window_->decorated_h() - window_->h() - frame;
  g = plot_window_geometry(xmax, ymax, sw, sh, frame, caption);
  window_->position(sx + g.x, sy + g.y);
  XMoveWindow(fl_display, fl_xid(window_.get()), sx + g.x, sy + g.y);  // position() skips an unchanged x, y

  page_.open(xmax, ymax);
  if (!new_buffer()) {
    fl_message_title("disini");
    fl_alert("Cannot create Bitmap");
    destroy();
    return false;
  }
  window_->redraw();
  Fl::check();
  return true;
}

bool ScreenDevice::new_buffer() {
  const int w = window_->w(), h = window_->h();
  window_->make_current();
  if (window_->buffer) fl_delete_offscreen(window_->buffer);
  window_->buffer = fl_create_offscreen(w, h);
  if (!window_->buffer) return false;
  window_->buffer_w = w;
  window_->buffer_h = h;
  {
    fl_begin_offscreen(window_->buffer);
    fl_color(FL_BLACK);  // colour index 0
    fl_rectf(0, 0, w, h);
    fl_end_offscreen();
  }
  // the page scaled uniformly into the client area
  const Recording& page = page_.recording();
  scale_ = std::min((w - 1.0) / page.xmax, (h - 1.0) / page.ymax);  // the last page unit on the last pixel
  return true;
}

void ScreenDevice::redraw_page() {
  points_.clear();
  if (!new_buffer()) return;
  for (const Recording::Op& op : page_.recording().ops) {
    switch (op.kind) {
      case Recording::Op::Kind::move:
        paint_move(op.point);
        break;
      case Recording::Op::Kind::draw:
        paint_draw(op.point);
        break;
      case Recording::Op::Kind::font:
        paint_font(op.font);
        break;
      case Recording::Op::Kind::text:
        paint_text(op.text);
        break;
    }
  }
  flush();
  window_->redraw();
}

void ScreenDevice::set_title(const char* what) {
  char head[32];
  std::snprintf(head, sizeof head, "PLOTLIB %2d: ", number_);
  title_ = head;
  title_ += what;
  window_->label(title_.c_str());
}

void ScreenDevice::move(PagePoint p) {
  page_.move(p);
  paint_move(p);
}

void ScreenDevice::draw(PagePoint p) {
  page_.draw(p);
  paint_draw(p);
}

void ScreenDevice::font(const FontSpec& spec) {
  page_.font(spec);
  paint_font(spec);
}

void ScreenDevice::text(const TextRun& run) {
  page_.text(run);
  paint_text(run);
}

void ScreenDevice::paint_move(PagePoint p) {
  flush();
  points_.assign(1, to_pixels(p));
}

void ScreenDevice::paint_draw(PagePoint p) {
  if (points_.size() == kMaxPolyline) flush();  // the next polyline starts at the last point
  points_.push_back(to_pixels(p));
}

PagePoint ScreenDevice::to_pixels(PagePoint p) const {
  return {static_cast<int>(std::lround(p.x * scale_)), static_cast<int>(std::lround(p.y * scale_))};
}

// Draws the pending polyline into the buffer and keeps its last point, where the pen stays.
void ScreenDevice::flush() {
  if (points_.size() >= 2 && window_ && window_->buffer) {
    window_->make_current();
    fl_begin_offscreen(window_->buffer);
    fl_color(FL_WHITE);
    if (std::all_of(points_.begin(), points_.end(), [&](PagePoint q) { return q == points_.front(); })) {
      fl_point(points_.front().x, points_.front().y);  // a single point is one pixel
    } else {
      fl_begin_line();
      for (const PagePoint q : points_) fl_vertex(q.x, q.y);
      fl_end_line();
    }
    fl_end_offscreen();
    window_->damage(FL_DAMAGE_ALL);
  }
  if (!points_.empty()) points_.erase(points_.begin(), points_.end() - 1);
}

void ScreenDevice::paint_font(const FontSpec& spec) {
  // the toolkit's font names: a leading style letter, then the face
  const char style = spec.bold ? (spec.italic ? 'P' : 'B') : (spec.italic ? 'I' : ' ');
  font_ = FL_FREE_FONT;
  std::string name(1, style);
  name += spec.face;
  Fl::set_font(font_, lasting_font_name(name));
}

void ScreenDevice::paint_text(const TextRun& run) {
  flush();
  if (!window_ || !window_->buffer) return;
  const int cell = std::max(1, static_cast<int>(std::lround(run.height * scale_)));
  const int offset = text_offset(cell);
  const double a = run.angle * std::numbers::pi / 180.0;
  const double ascent = cell_ascent(cell);
  window_->make_current();
  fl_begin_offscreen(window_->buffer);
  fl_color(FL_WHITE);
  fl_font(font_, std::max(1, static_cast<int>(std::lround(cell * 2048.0 / 2288.0))));  // the em of the cell
  for (std::size_t i = 0; i < run.text.size(); ++i) {
    // top left of the character cell, moved up by the leading; then down to the baseline
    const double x = run.char_x(i) * scale_ - offset * std::sin(a) + ascent * std::sin(a);
    const double y = run.char_y(i) * scale_ - offset * std::cos(a) + ascent * std::cos(a);
    const char c[2] = {run.text[i], '\0'};
    fl_draw(run.angle, c, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
  }
  fl_end_offscreen();
  window_->damage(FL_DAMAGE_ALL);
}

bool ScreenDevice::close() {
  flush();
  if (!window_) return true;
  set_title("click the right mouse button or press Return to continue");
  window_->wait_until_done([this] { redraw_page(); });
  destroy();
  return true;
}

void ScreenDevice::destroy() {
  if (!window_) return;
  window_->hide();
  window_.reset();
  Fl::check();
}

}  // namespace

WindowGeometry plot_window_geometry(int xmax, int ymax, int screen_w, int screen_h, int frame, int caption) {
  const double page_w = xmax + 1.0, page_h = ymax + 1.0;
  WindowGeometry g{};
  if (page_w > page_h) {
    g.w = 2 * screen_w / 3;
    g.h = static_cast<int>(std::lround(g.w * page_h / page_w));
  } else {
    g.h = 2 * screen_h / 3;
    g.w = static_cast<int>(std::lround(g.h * page_w / page_h));
  }
  g.x = std::max(frame, screen_w - g.w - frame);
  g.y = std::max(frame + caption, screen_h - g.h - frame);
  return g;
}

std::unique_ptr<Device> make_screen_device() { return std::make_unique<ScreenDevice>(); }

}  // namespace plotlib
