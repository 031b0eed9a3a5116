#pragma once
// The screen device: a window of the toolkit, drawn through a backing offscreen buffer.
#include <memory>

#include "plotlib/draw/device.h"

namespace plotlib {

std::unique_ptr<Device> make_screen_device();

// Client-area geometry of the plot window on a screen of the given size: two thirds of the screen
// along the page's longer side, the other side by the page's aspect ratio; the frame touches the
// screen's right and bottom edges, and the client area starts no further left than one frame width
// nor higher than one frame height plus the caption.
struct WindowGeometry {
  int x, y, w, h;
};
WindowGeometry plot_window_geometry(int xmax, int ymax, int screen_w, int screen_h, int frame, int caption);

}  // namespace plotlib
