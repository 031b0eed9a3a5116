#include "plotlib/draw/figure_window.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cmath>
#include <vector>

#include "plotlib/draw/plot_window.h"
#include "plotlib/draw/screen_device.h"

namespace plotlib {

void show_figure(const figure::Scene& scene, const std::string& what) {
  fl_open_display();
  int sx, sy, sw, sh;
  Fl::screen_xywh(sx, sy, sw, sh, 0);
  const WindowGeometry g =
      plot_window_geometry(static_cast<int>(std::lround(scene.width * 10)),
                           static_cast<int>(std::lround(scene.height * 10)), sw, sh, 0, 0);
  PlotWindow window(sx + g.x, sy + g.y, g.w, g.h);
  window.end();
  const std::string title = "trov: " + what + ": click the right mouse button or press Return to continue";
  window.label(title.c_str());
  window.show();
  window.wait_for_expose();
  // the figure drawn by cairo at the window's size into its backing buffer
  const auto paint = [&] {
    const int w = window.w(), h = window.h();
    window.make_current();
    if (window.buffer) fl_delete_offscreen(window.buffer);
    window.buffer = fl_create_offscreen(w, h);
    if (!window.buffer) return;
    window.buffer_w = w;
    window.buffer_h = h;
    const std::vector<unsigned char> pixels = figure::rendered_pixels(scene, w, h);
    fl_begin_offscreen(window.buffer);
    if (pixels.empty()) {
      fl_color(FL_WHITE);
      fl_rectf(0, 0, w, h);
    } else {
      fl_draw_image(pixels.data(), 0, 0, w, h, 3);
    }
    fl_end_offscreen();
    window.redraw();
  };
  paint();
  window.wait_until_done(paint);
  window.hide();
  Fl::check();
}

}  // namespace plotlib
