// Opens the front end's settings dialog with the values of the trov.in in the working directory (or
// the defaults), prints "geometry ID X Y W H" for every widget, in window coordinates, and ends. The
// scripts that drive trovwin learn from it where the lists and fields are.
#include <FL/Fl.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>

#include <cstdio>
#include <cstdlib>

#include "frontend/dialog.h"
#include "frontend/settings_file.h"
#include "plotlib/widgets/widget_access.h"

namespace {

void print_and_end(void*) {
  for (int id = 1; id <= 200; ++id) {  // bases have no window of their own
    const Fl_Widget* w = plotlib::widget_of(id);
    if (!w) continue;
    std::printf("geometry %d %d %d %d %d\n", id, w->x(), w->y(), w->w(), w->h());
  }
  std::fflush(stdout);
  std::exit(0);
}

}  // namespace

int main() {
  trov::front::DialogValues values = trov::front::default_values();
  if (!trov::front::load_parameter_file("trov.in", values)) values = trov::front::default_values();
  Fl::add_timeout(0.2, print_and_end);
  trov::front::run_dialog(values);
  return 1;  // the dialog ended before the geometry was printed
}
