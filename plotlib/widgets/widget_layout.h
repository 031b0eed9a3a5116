#pragma once
// Placement of widgets in character units: each new widget asks its parent for a place.
#include <utility>

namespace plotlib {

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  int right() const { return x + w; }
  int bottom() const { return y + h; }
  bool operator==(const Rect&) const = default;
};

enum class Arrangement { vert, hori, form };

// Pixel sizes derived once from the font metrics.
struct Spacing {
  int line = 0;    // line height
  int hspace = 0;  // horizontal gap, 4 average character widths
  int vspace = 0;  // vertical gap, half a line
};
Spacing spacing_from(int line_height, int char_width);

int label_height(const Spacing& s);            // one line
int field_height(const Spacing& s);            // edit fields and buttons: 1.5 lines, rounded down
int list_height(const Spacing& s, int items);  // one line per item plus one; 9 lines past 8 items
bool has_scroll_bar(int items);
int base_width(int ndchar, int char_width, int screen_width);  // ndchar > 0 characters, < 0 percent of screen

// Layout record of a parent (main or base widget).
struct ParentLayout {
  Arrangement arrangement = Arrangement::vert;
  Rect area;                   // w is the width handed to children of a VERT parent
  int next_x = 0, next_y = 0;  // insertion point of the next child
  int right = 0, bottom = 0;   // lowest and rightmost edges of everything inside

  ParentLayout(Arrangement a, Rect r)
      : arrangement(a), area(r), next_x(r.x), next_y(r.y), right(r.x), bottom(r.y) {}

  // Place of the next child of the given height; does not yet account for it (see enclose).
  Rect place(int height, int default_width) const;
  // Takes a placed descendant into the extent and moves the insertion point past it, so that a
  // child after a growing base starts below it (VERT) or beside it (HORI).
  void enclose(const Rect& r, const Spacing& s);
};

// A labelled text's row split into the label (left) and the edit field (rightmost percent of the row).
std::pair<Rect, Rect> split_labelled(const Rect& row, int percent);

}  // namespace plotlib
