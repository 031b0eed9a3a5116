// Writes the figures, caption, plotted data and scripts of the run whose trov.out, trov.json and
// trov.options (if any) are in the working directory, as trovwin does after its plot, without a screen.
// Usage: write_run_figures M [LAMBDA_ORIGIN]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "frontend/figures.h"
#include "frontend/settings_file.h"

int main(int argc, char** argv) {
  using namespace trov::front;
  if (argc < 2) return 2;
  const int M = std::atoi(argv[1]);
  ResultsTable table;
  if (std::string why = read_results_table("trov.out", M, table); !why.empty()) {
    std::fprintf(stderr, "trov.out: %s\n", why.c_str());
    return 1;
  }
  trov::Options options;
  if (std::string why = load_options_file(trov::kOptionsFile, options); !why.empty()) {
    std::fprintf(stderr, "trov.options: %s\n", why.c_str());
    return 1;
  }
  const std::string why =
      write_figures(table, M, read_run_details("trov.json"), options, argc > 2 ? argv[2] : "");
  if (!why.empty()) std::fprintf(stderr, "%s\n", why.c_str());
  return why.empty() ? 0 : 1;
}
