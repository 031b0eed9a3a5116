#pragma once
// The output device interface: the drawing layer sends moves, draws and texts in page coordinates.
#include <string>
#include <string_view>
#include <vector>

namespace plotlib {

// A point of the page in plot units: origin at the upper left corner, y downwards.
struct PagePoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const PagePoint&, const PagePoint&) = default;
};

// One text as the drawing layer places it. The characters are drawn one at a time; character i starts
// `advance[i]` plot units along the text direction from (x, y).
struct TextRun {
  std::string text;
  double x = 0.0;  // top left corner of the text box, in the text's own frame
  double y = 0.0;
  int height = 0;  // character height in plot units
  int angle = 0;   // degrees, counter-clockwise
  std::vector<double> advance;

  // Top left corner of character i: the start moved along the text direction.
  double char_x(std::size_t i) const;
  double char_y(std::size_t i) const;
};

// A font chosen by name: the face and the style the name asks for.
struct FontSpec {
  std::string face;  // "Arial", "Courier" or the name itself
  bool bold = false;
  bool italic = false;
  static FontSpec from_name(std::string_view name);
};

class Device {
 public:
  virtual ~Device() = default;

  // The device keyword as the end-of-plot report shows it.
  virtual std::string_view keyword() const = 0;
  // The output file, empty for the screen.
  virtual std::string file_name() const { return {}; }
  // How far inside the axis lines curves are clipped, in plot units.
  virtual int clip_margin() const { return 1; }
  // Whether platform fonts chosen by name can be used.
  virtual bool takes_window_fonts() const { return true; }

  // Opens the page of width xmax + 1 and height ymax + 1; false if the device cannot draw.
  virtual bool open(int xmax, int ymax) = 0;
  virtual void move(PagePoint p) = 0;
  virtual void draw(PagePoint p) = 0;
  virtual void font(const FontSpec& spec) = 0;
  virtual void text(const TextRun& run) = 0;
  // Completes the output: the screen waits for the user, a file is closed. False when a file could not
  // be written whole.
  virtual bool close() = 0;
};

}  // namespace plotlib
