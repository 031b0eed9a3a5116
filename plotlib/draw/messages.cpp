#include "plotlib/draw/messages.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace plotlib {
namespace {

constexpr std::array<std::string_view, 58> kWarningTexts = {
    "Negative parameter",
    "Incorrect parameter",
    "Incorrect level",
    "X coordinate out of page",
    "Y coordinate out of page",
    "Same tick number as in a call before",
    "First radius greater than second radius",
    "Start angle greater/equal end angle",
    "Step equal zero",
    "Begin and end of scaling are equal",
    "Axis length < 2",
    "Startlabel out of scaling",
    "Linear scaling must be used",
    "Linear interpolation must be used",
    "No call to legini before",
    "Too long string for legend line",
    "Not enough store for the legend buffer",
    "Incorrect character after the eushft operator",
    "The basealphabet cannot be used",
    "No metafile",
    "The routine must be called after disfin",
    "The metafile is deleted before",
    "Non positive minimum for log scaling (set to 0.1)",
    "Non positive maximum for log scaling (set to 1.0)",
    "Minimum equal maximum (added -1 and +1)",
    "Too many intersections",
    "Non positive values for log scaling",
    "Number of bars unequal number of main ticks",
    "Sum of data is zero",
    "Incorrect number of points",
    "Incorrect number of points for spline interpolation",
    "No increasing x coordinates for spline interpolation",
    "Incorrect viewpoint",
    "No call to grfini before",
    "Confusion of graf3d and graf3",
    "File error",
    "Incorrect filename",
    "Singular matrix",
    "Too many pages for CGM file (max. length 327 cm)",
    "File format and output device are incompatible",
    "Incorrect device for HPGL file",
    "More legend lines than calls to curve",
    "Instruction code: incorrect parameter",
    "Instruction code: incorrect tabulator index",
    "Instruction code: no integer value",
    "Instruction code: unknown command",
    "Blanking buffer overflow",
    "No call to psfont",
    "Fileformat is not PostScript",
    "Incorrect sign for step",
    "Non positive parameter",
    "Hiddenline overflow",
    "Not enough memory",
    "No call to imgfin",
    "No call to imgini",
    "Incorrect file format",
    "Control characters must be different",
    "Array is out of screen",
};

std::ostream* g_out = nullptr;

template <typename... Args>
std::string format(const char* layout, Args... args) {
  const int size = std::snprintf(nullptr, 0, layout, args...);
  std::string text(static_cast<std::size_t>(size), '\0');
  std::snprintf(text.data(), text.size() + 1, layout, args...);
  return text;
}

// Very large and very small values in exponent form, the rest in plain fixed point.
bool needs_exponent(float v) {
  const double a = std::fabs(static_cast<double>(v));
  return a > 1e6 || (a < 1e-6 && a != 0.0);
}

}  // namespace

std::string_view warning_text(int number) {
  if (number < 1 || number > static_cast<int>(kWarningTexts.size())) return {};
  return kWarningTexts[static_cast<std::size_t>(number - 1)];
}

std::string warning_line(int number, std::string_view routine, WarningParameter parameter,
                         std::string_view own_text) {
  const std::string_view text = number >= 101 ? own_text : warning_text(number);
  if (text.empty()) return format("<<<< Incorrect parameter in errmes! (%4d)", number);
  const std::string head = format(" <<<< Warning %3d: %.*s in %.*s!", number, static_cast<int>(text.size()),
                                  text.data(), static_cast<int>(routine.size()), routine.data());
  if (const int* value = std::get_if<int>(&parameter)) return head + format("   (%4d)", *value);
  if (const std::string_view* word = std::get_if<std::string_view>(&parameter))
    return head + "   (" + std::string(*word) + ")";
  return head;
}

std::string out_of_scaling_line(float x, float y) {
  const double dx = x, dy = y;
  std::string line = " <<<< (";
  line += needs_exponent(x) ? format("%12.4e /", dx) : format("%f /", dx);
  line += needs_exponent(y) ? format("%12.4e) out of axis scaling!", dy)
                            : format(" %f) out of axis scaling!", dy);
  return line;
}

void set_message_stream(std::ostream* out) { g_out = out; }

std::ostream& message_stream() { return g_out ? *g_out : std::cout; }

void write_message(std::string_view text) {
  std::ostream& out = message_stream();
  out << text;
  out.flush();
}

}  // namespace plotlib
