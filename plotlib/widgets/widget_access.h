#pragma once
// Access to the FLTK widget behind an identifier, for inspecting state (active, visible, geometry) in
// tests. The main widget's is the dialog window; its first child is the menu bar. Null when the
// identifier is unknown or the dialog window is gone.
class Fl_Widget;

namespace plotlib {
Fl_Widget* widget_of(int id);
}
