// Writes the sample plots: write_sample <fitted|grid> <device> [file]
#include <cstdio>
#include <string_view>

#include "tests/plotlib/sample_plot.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: write_sample fitted|grid DEVICE [FILE]\n");
    return 2;
  }
  const std::string_view kind = argv[1], device = argv[2], file = argc > 3 ? argv[3] : "";
  if (kind == "grid")
    trov::test::sample_grid_plot(device, file);
  else
    trov::test::sample_fitted_plot(device, file);
  return 0;
}
