#pragma once
// The library's one global state: level, device, page, settings, scaling and counters.
#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "plotlib/draw/device.h"
#include "plotlib/draw/messages.h"

namespace plotlib::detail {

enum class DeviceKind { screen, metafile, recording };
enum class LineStyle { solid, dashed, long_dashed };

struct AxisSettings {
  int ticks = 2;     // tick intervals between two labels
  int digits = 1;    // label decimals; -1 rounds to an integer
  std::string name;  // axis name, at most 60 characters
};

struct TitleLine {
  std::string text;  // at most 60 characters; empty lines are not drawn
  bool underlined = false;
};

// One axis as `graf` fixed it: ends, first label and label step.
struct AxisScale {
  float a = 0.0f, e = 1.0f, first = 0.0f, step = 1.0f;
};

struct State {
  int level = 0;

  // Chosen at level 0, kept from one plot to the next.
  DeviceKind device_kind = DeviceKind::screen;
  std::string file_name;  // setfil; empty: the device's default name
  std::string page_keyword = "DA4L";
  int xmax = 2969, ymax = 2099;  // largest page coordinates

  std::unique_ptr<Device> device;  // opened by disini, kept after disfin until the next disini

  // Settings that disini restores.
  int label_height = 36;
  int name_height = 36;
  int nxa = 0, nya = 0;  // lower left corner of the axis system
  int nxl = 0, nyl = 0;  // axis lengths
  AxisSettings xaxis, yaxis;
  std::array<TitleLine, 4> titles;
  int symbol_size = 36;
  int marker_step = 0;  // incmrk
  int symbol = 0;
  LineStyle line_style = LineStyle::solid;
  std::string font_name;  // empty: the default font

  // Fixed by graf.
  AxisScale xscale, yscale;
  int clip_left = 0, clip_right = 0, clip_top = 0, clip_bottom = 0;

  // Counters of the end-of-plot report.
  long vectors = 0;
  long warnings = 0;

  // Pen position on the device, so that connected lines need no extra move.
  PagePoint pen;
  bool pen_valid = false;
};

State& state();

// Writes one warning line; warnings count towards the report. Numbers from 101 on carry their own text.
void warn(int number, std::string_view routine, WarningParameter parameter = {},
          std::string_view own_text = {});
// Checks the level against [lo, hi]; warns 3 with the current level otherwise.
bool level_ok(std::string_view routine, int lo, int hi);

// Drawing in page coordinates: each draw is one vector of the report.
void move_to(PagePoint p);
void line_to(PagePoint p);
void line(PagePoint from, PagePoint to);

// Writes a text whose box has its top left corner at (x, y), in the given height and angle.
void draw_text(std::string_view text, double x, double y, int height, int angle);

// Page position of an axis value under the current scaling, limited to +-1e6.
double scale_x(double x);
double scale_y(double y);

int nint(double v);

// Text of an axis label with `digits` decimals (-1: rounded to an integer).
std::string label_text(float value, int digits);

}  // namespace plotlib::detail
