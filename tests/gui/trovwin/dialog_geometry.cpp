// Opens the front end's settings dialog with the values of the trov.in in the working directory (or
// the defaults), prints "geometry NAME X Y W H" for every widget a user works with, in window
// coordinates, and ends. The scripts that drive trovwin learn from it where the lists and fields are.
#include <FL/Fl.H>
#include <FL/Fl_Widget.H>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frontend/dialog.h"
#include "frontend/settings_file.h"
#include "plotlib/widgets/widget_access.h"

namespace {

void print_and_end(void*) {
  for (auto [name, id] : trov::front::dialog_widgets()) {
    const Fl_Widget* w = plotlib::widget_of(id);
    if (!w) continue;
    std::printf("geometry %.*s %d %d %d %d\n", static_cast<int>(name.size()), name.data(), w->x(), w->y(),
                w->w(), w->h());
  }
  std::fflush(stdout);
  std::exit(0);
}

}  // namespace

int main() {
  trov::front::DialogValues values = trov::front::default_values();
  if (!trov::front::load_parameter_file("trov.in", values).empty()) values = trov::front::default_values();
  Fl::add_timeout(0.2, print_and_end);
  trov::front::run_dialog(values);
  return 1;  // the dialog ended before the geometry was printed
}
