#pragma once
// The 21 plot symbols: polylines in percent of the symbol size around the point (y downwards).
#include <span>
#include <vector>

namespace plotlib {

struct SymbolVertex {
  int x;
  int y;
};

constexpr int kSymbolCount = 21;

// The strokes of symbol `number` (0 to 20); each stroke is one polyline.
const std::vector<std::vector<SymbolVertex>>& symbol_strokes(int number);

}  // namespace plotlib
