// Writes the figures, caption, plotted data and scripts of the run whose trov.json and trov.options (if
// any) are in the working directory, as trovwin does after its plot, without a screen. With --traits
// those of trov.json's several traits instead; with --show they are first shown in their plot window.
// Usage: write_run_figures [LAMBDA_ORIGIN] | write_run_figures --traits [--show]
#include <cstdio>
#include <string>

#include "frontend/figures.h"
#include "frontend/plots.h"
#include "frontend/settings_file.h"
#include "frontend/trait_figures.h"

int main(int argc, char** argv) {
  using namespace trov::front;
  trov::Options options;
  if (std::string why = load_options_file(trov::kOptionsFile, options); !why.empty()) {
    std::fprintf(stderr, "trov.options: %s\n", why.c_str());
    return 1;
  }
  const std::string first = argc > 1 ? argv[1] : "";
  std::string why;
  if (first == "--traits") {
    const TraitRun traits = read_trait_run("trov.json");
    if (!traits.present)
      why = "trov.json has no traits";
    else if (argc > 2 && std::string(argv[2]) == "--show")
      why = plot_traits(traits, options);
    else
      why = write_trait_figures(traits, options);
  } else {
    RunDetails run = read_run_details("trov.json");
    complete_bootstrap_points(run);
    why = write_figures(run, options, first);
  }
  if (!why.empty()) std::fprintf(stderr, "%s\n", why.c_str());
  return why.empty() ? 0 : 1;
}
