#include "plotlib/draw/plot_window.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

namespace plotlib {

namespace {
constexpr const char* kHowToContinue = "Right click, Return, Space or Escape: continue";
}

PlotWindow::PlotWindow(int x, int y, int w, int h) : Fl_Window(x, y, w, h) {
  callback(close_box_cb, this);
  color(FL_BLACK);
  resizable(this);
}

PlotWindow::~PlotWindow() {
  if (buffer) fl_delete_offscreen(buffer);
}

int PlotWindow::handle(int event) {
  switch (event) {
    case FL_PUSH:
      return 1;  // accepting the press is what brings the release
    case FL_RELEASE:
      if (Fl::event_button() == FL_RIGHT_MOUSE && Fl::event_inside(0, 0, w(), h())) done = true;
      return 1;
    case FL_KEYDOWN:
    case FL_SHORTCUT:
      // Return, Space and Escape end the wait as the right button does; other keys do nothing
      if (waiting && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter ||
                      Fl::event_key() == ' ' || Fl::event_key() == FL_Escape))
        done = true;
      return 1;
    default:
      return Fl_Window::handle(event);
  }
}

void PlotWindow::resize(int x, int y, int w, int h) {
  const bool changed = w != this->w() || h != this->h();
  Fl_Window::resize(x, y, w, h);
  if (changed) resized = true;
}

void PlotWindow::draw() {
  if (buffer) fl_copy_offscreen(0, 0, std::min(w(), buffer_w), std::min(h(), buffer_h), buffer, 0, 0);
  if (waiting) {
    fl_color(FL_GRAY);
    fl_font(FL_HELVETICA, 12);
    fl_draw(kHowToContinue, 6, h() - 4 - fl_descent());
  }
}

void PlotWindow::wait_until_done(const std::function<void()>& redraw_page) {
  waiting = true;
  redraw();
  while (!done) {
    Fl::wait();
    if (resized) {
      resized = false;
      redraw_page();
    }
  }
}

// The close box ends the wait as the right mouse button does; Escape arrives here too and is ignored.
void PlotWindow::close_box_cb(Fl_Widget*, void* data) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  static_cast<PlotWindow*>(data)->done = true;
}

}  // namespace plotlib
