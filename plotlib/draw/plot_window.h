#pragma once
// The plot window of the screen: a copy of a backing offscreen buffer, which waits for the user to go
// on (right button, Return, Space, Escape or the close box) once its page is complete.
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <functional>

namespace plotlib {

class PlotWindow : public Fl_Window {
 public:
  PlotWindow(int x, int y, int w, int h);
  ~PlotWindow() override;
  int handle(int event) override;
  // A new size: the owner draws the page again at the new scale.
  void resize(int x, int y, int w, int h) override;
  // A repaint copies the backing buffer into the window and, while it waits, says how to go on: at the
  // lower left, below the axis labels and beside the horizontal axis's name, where a page has nothing
  // (at the top it would hide the first line above a plot's title).
  void draw() override;
  // Asks the user to go on and waits until they do; a new size calls redraw_page.
  void wait_until_done(const std::function<void()>& redraw_page);

  Fl_Offscreen buffer = 0;
  int buffer_w = 0, buffer_h = 0;
  bool waiting = false;  // the page is complete and the user is asked to go on
  bool done = false;
  bool resized = false;

 private:
  static void close_box_cb(Fl_Widget*, void* data);
};

}  // namespace plotlib
