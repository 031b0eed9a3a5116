#pragma once
// Metrics of the Arial-metric text font, so that text placement needs no display.
#include <string_view>

namespace plotlib {

// Width of one character, in plot units, for a font whose character cell is `height` high.
double char_width(unsigned char c, double height);

// Width of a text: the sum of its character widths.
double text_width(std::string_view text, double height);

// Internal plus external leading of a font whose cell is `height` device units high, rounded as the
// platform's text metrics are: the distance from the top of the cell to the top of the text box.
int text_offset(int height);

// Distance from the top of the character cell to the baseline, for a cell `height` high.
double cell_ascent(double height);

}  // namespace plotlib
