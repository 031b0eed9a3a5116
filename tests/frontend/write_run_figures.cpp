// Writes the figures, caption, plotted data and scripts of the run whose trov.json and trov.options (if
// any) are in the working directory, as trovwin does after its plot, without a screen.
// Usage: write_run_figures [LAMBDA_ORIGIN]
#include <cstdio>
#include <string>

#include "frontend/figures.h"
#include "frontend/settings_file.h"

int main(int argc, char** argv) {
  using namespace trov::front;
  trov::Options options;
  if (std::string why = load_options_file(trov::kOptionsFile, options); !why.empty()) {
    std::fprintf(stderr, "trov.options: %s\n", why.c_str());
    return 1;
  }
  RunDetails run = read_run_details("trov.json");
  complete_bootstrap_points(run);
  const std::string why = write_figures(run, options, argc > 1 ? argv[1] : "");
  if (!why.empty()) std::fprintf(stderr, "%s\n", why.c_str());
  return why.empty() ? 0 : 1;
}
