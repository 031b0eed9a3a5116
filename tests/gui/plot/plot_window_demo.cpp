// Draws a sample plot in the screen window and reports when the wait in disfin has ended.
#include <cstdio>
#include <string_view>

#include "tests/plotlib/sample_plot.h"

int main(int argc, char** argv) {
  const std::string_view kind = argc > 1 ? argv[1] : "fitted";
  if (kind == "grid")
    trov::test::sample_grid_plot("XWIN");
  else
    trov::test::sample_fitted_plot("XWIN");
  std::printf("disfin returned\n");
  return 0;
}
