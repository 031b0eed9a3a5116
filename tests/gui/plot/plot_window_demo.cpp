// Draws a sample plot in the screen window ("twice": two in a row, as the front end's runs do) and
// reports each time the wait in disfin has ended.
#include <cstdio>
#include <string_view>

#include "tests/plotlib/sample_plot.h"

int main(int argc, char** argv) {
  const std::string_view kind = argc > 1 ? argv[1] : "fitted";
  for (int pass = 0; pass < (kind == "twice" ? 2 : 1); ++pass) {
    if (kind == "grid")
      trov::test::sample_grid_plot("XWIN");
    else
      trov::test::sample_fitted_plot("XWIN");
    std::printf("disfin returned\n");
    std::fflush(stdout);
  }
  return 0;
}
