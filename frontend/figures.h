#pragma once
// The figures of a run for papers and slides, laid out on their own (trov.options chooses size, font and
// axis titles), a caption to paste under them, the plotted data, and two scripts that draw them again.
#include <string>

#include "common/options_file.h"
#include "frontend/run_details.h"

namespace trov::front {

// Writes trov.png, trov.svg and trov.pdf, trov_caption.txt, trov_plot.csv, trov_plot.R and
// trov_plot.py for the run that trov.json describes (read: run.read). `lambda_origin` says how the fixed
// lambda was chosen ("the REML choice of the preceding grid"); empty: as typed. Returns an empty text,
// or why the files could not be written (then none of them is kept).
std::string write_figures(const RunDetails& run, const Options& options,
                          const std::string& lambda_origin = {});

}  // namespace trov::front
