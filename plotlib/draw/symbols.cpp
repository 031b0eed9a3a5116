#include "plotlib/draw/symbols.h"

#include <array>
#include <cmath>
#include <numbers>

namespace plotlib {
namespace {

using Stroke = std::vector<SymbolVertex>;
using Symbol = std::vector<Stroke>;

// A closed regular polygon of radius r percent, the first vertex at angle start (degrees, from +x,
// counter-clockwise on the page).
Stroke polygon(int corners, double r, double start) {
  Stroke stroke;
  for (int i = 0; i <= corners; ++i) {
    const double a = (start + 360.0 * i / corners) * std::numbers::pi / 180.0;
    stroke.push_back(
        {static_cast<int>(std::lround(r * std::cos(a))), static_cast<int>(std::lround(-r * std::sin(a)))});
  }
  return stroke;
}

const Stroke kSquare = {{-50, -50}, {50, -50}, {50, 50}, {-50, 50}, {-50, -50}};
const Stroke kPlusH = {{-50, 0}, {50, 0}};
const Stroke kPlusV = {{0, -50}, {0, 50}};
const Stroke kCross1 = {{-50, -50}, {50, 50}};
const Stroke kCross2 = {{-50, 50}, {50, -50}};
const Stroke kDiamond = {{0, -50}, {50, 0}, {0, 50}, {-50, 0}, {0, -50}};
const Stroke kTriangleUp = {{0, -50}, {50, 40}, {-50, 40}, {0, -50}};
const Stroke kTriangleDown = {{0, 50}, {-50, -40}, {50, -40}, {0, 50}};

std::array<Symbol, kSymbolCount> make_symbols() {
  return {{
      {kSquare},                                                   // 0 open square
      {polygon(8, 50, 22.5)},                                      // 1 octagon
      {kTriangleUp},                                               // 2 triangle, tip up
      {kPlusH, kPlusV},                                            // 3 plus
      {kCross1, kCross2},                                          // 4 cross
      {kDiamond},                                                  // 5 diamond
      {kTriangleDown},                                             // 6 triangle, tip down
      {kPlusH, kPlusV, kCross1, kCross2},                          // 7 star
      {kSquare, kCross1, kCross2},                                 // 8 square with cross
      {kDiamond, kPlusH, kPlusV},                                  // 9 diamond with plus
      {{{-50, -50}, {50, -50}, {-50, 50}, {50, 50}, {-50, -50}}},  // 10 hourglass
      {{{-50, -50}, {50, 50}, {50, -50}, {-50, 50}, {-50, -50}}},  // 11 bow tie
      {kSquare, kPlusH, kPlusV},                                   // 12 square with plus
      {polygon(8, 50, 22.5), kPlusH, kPlusV},                      // 13 octagon with plus
      {kTriangleUp, kTriangleDown},                                // 14 two triangles
      {polygon(5, 50, 90)},                                        // 15 pentagon
      {polygon(6, 50, 0)},                                         // 16 hexagon
      {{{-25, -25}, {25, -25}, {25, 25}, {-25, 25}, {-25, -25}}},  // 17 small square
      {kPlusV, {{-30, -20}, {0, -50}, {30, -20}}},                 // 18 arrow up
      {kPlusH},                                                    // 19 dash
      {polygon(16, 50, 0)},                                        // 20 circle
  }};
}

}  // namespace

const std::vector<std::vector<SymbolVertex>>& symbol_strokes(int number) {
  static const std::array<Symbol, kSymbolCount> symbols = make_symbols();
  return symbols[static_cast<std::size_t>(number)];
}

}  // namespace plotlib
