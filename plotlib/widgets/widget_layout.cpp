#include "plotlib/widgets/widget_layout.h"

#include <algorithm>
#include <cmath>

namespace plotlib {

Spacing spacing_from(int line_height, int char_width) {
  constexpr double hspace_chars = 4.0, vspace_lines = 0.5;
  return {line_height, static_cast<int>(std::lround(hspace_chars * char_width)),
          static_cast<int>(std::lround(vspace_lines * line_height))};
}

int label_height(const Spacing& s) { return s.line; }

int field_height(const Spacing& s) { return s.line * 3 / 2; }

constexpr int max_unscrolled = 8;

bool has_scroll_bar(int items) { return items > max_unscrolled; }

int list_height(const Spacing& s, int items) {
  return has_scroll_bar(items) ? (max_unscrolled + 1) * s.line : (items + 1) * s.line;
}

int base_width(int ndchar, int char_width, int screen_width) {
  if (ndchar > 0) return ndchar * char_width;
  return static_cast<int>(std::lround(-ndchar * screen_width / 100.0));
}

Rect ParentLayout::place(int height, int default_width) const {
  // FORM children have no position of their own here: they sit at the insertion point.
  const int width = arrangement == Arrangement::vert ? area.w : default_width;
  return {next_x, next_y, width, height};
}

void ParentLayout::enclose(const Rect& r, const Spacing& s) {
  right = std::max(right, r.right());
  bottom = std::max(bottom, r.bottom());
  if (arrangement == Arrangement::vert) next_y = std::max(next_y, r.bottom() + s.vspace);
  if (arrangement == Arrangement::hori) next_x = std::max(next_x, r.right() + s.hspace);
}

std::pair<Rect, Rect> split_labelled(const Rect& row, int percent) {
  const int field_w = static_cast<int>(std::lround(row.w * std::clamp(percent, 0, 100) / 100.0));
  const Rect label{row.x, row.y, row.w - field_w, row.h};
  const Rect field{row.right() - field_w, row.y, field_w, row.h};
  return {label, field};
}

}  // namespace plotlib
