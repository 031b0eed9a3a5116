#include "plotlib/draw/font_metrics.h"

#include <array>
#include <cmath>

namespace plotlib {
namespace {

// Advance widths of the codes 32..126 in font units, measured once from LiberationSans-Regular (which
// shares Arial's metrics): 2048 units per em.
constexpr std::array<int, 95> kAdvance = {
    569,  569,  727,  1139, 1139, 1821, 1366, 391,  682,  682,  797,  1196, 569,  682,  569,  569,
    1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 569,  569,  1196, 1196, 1196, 1139,
    2079, 1366, 1366, 1479, 1479, 1366, 1251, 1593, 1479, 569,  1024, 1366, 1139, 1706, 1479, 1593,
    1366, 1593, 1479, 1366, 1251, 1479, 1366, 1933, 1366, 1366, 1251, 569,  569,  569,  961,  1139,
    682,  1139, 1139, 1024, 1139, 1139, 569,  1139, 1139, 455,  455,  1024, 455,  1706, 1139, 1139,
    1139, 1139, 682,  1024, 569,  1139, 1024, 1479, 1024, 1024, 1024, 684,  532,  684,  1196};

// Characters outside the table (Latin-1 letters mostly) get the width of a lower-case letter.
constexpr int kOtherAdvance = 1139;

// Cell height in font units: ascent 1854 plus descent 434; the em is 2048, the line gap 67.
constexpr double kCell = 2288.0;
constexpr double kAscent = 1854.0;
constexpr double kInternalLeading = kCell - 2048.0;
constexpr double kExternalLeading = 67.0;

}  // namespace

double char_width(unsigned char c, double height) {
  const int advance = (c >= 32 && c <= 126) ? kAdvance[c - 32] : kOtherAdvance;
  return advance * height / kCell;
}

double text_width(std::string_view text, double height) {
  double width = 0.0;
  for (const char c : text) width += char_width(static_cast<unsigned char>(c), height);
  return width;
}

int text_offset(int height) {
  return static_cast<int>(std::lround(kInternalLeading * height / kCell)) +
         static_cast<int>(std::lround(kExternalLeading * height / kCell));
}

double cell_ascent(double height) { return kAscent * height / kCell; }

}  // namespace plotlib
