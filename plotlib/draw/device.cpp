#include "plotlib/draw/device.h"

#include <cmath>
#include <numbers>

namespace plotlib {

double TextRun::char_x(std::size_t i) const {
  return x + advance[i] * std::cos(angle * std::numbers::pi / 180.0);
}

// y grows downwards, so a text that climbs counter-clockwise moves to smaller y.
double TextRun::char_y(std::size_t i) const {
  return y - advance[i] * std::sin(angle * std::numbers::pi / 180.0);
}

FontSpec FontSpec::from_name(std::string_view name) {
  FontSpec spec;
  spec.bold = name.find("Bold") != std::string_view::npos;
  spec.italic = name.find("Italic") != std::string_view::npos;
  if (name.find("Arial") != std::string_view::npos)
    spec.face = "Arial";
  else if (name.find("Courier") != std::string_view::npos)
    spec.face = "Courier";
  else
    spec.face = std::string(name);
  return spec;
}

}  // namespace plotlib
