#pragma once

#include <string>
#include <vector>

#include "common/options_file.h"
#include "frontend/plot_notes.h"
#include "frontend/run_details.h"
#include "frontend/trait_details.h"

namespace trov::front {

struct PlotOutcome {
  std::string not_drawn;      // why the plot cannot be drawn; empty when it was
  std::string figures_fault;  // why the figures are missing; empty when they were written
  // why trovwin ends (no free name for the metafile): the line for standard output, before status 1;
  // empty otherwise. Nothing more is drawn or written then.
  std::string ending;
};

// Draws the plot of the run that trov.json describes on the screen (waits until the user dismisses the
// window) and into trov.wmf, with the notes of trov.json above the title, then writes the figures
// (frontend/figures.h). The curve is the converged fit (the classic one dashed where it differs), the
// band that of the converged refits, and a grid shows the classic scores with the recommended
// criterion's scores and minimum. lambda_origin: how the fixed lambda was chosen, for the caption. A
// plot is not drawn for a run not read, for values that are not finite, or when a label step is zero
// (all horizontal or all vertical values equal).
PlotOutcome plot_results(const RunDetails& run, const std::vector<PlotNote>& notes, const Options& options,
                         const std::string& lambda_origin);

// The figure of several traits (frontend/trait_figures.h), shown in a plot window of its own after the
// one trait's (waits until the user dismisses it), then written as its files. Returns an empty text, or
// why it could not be shown or written.
std::string plot_traits(const TraitRun& traits, const Options& options);

}  // namespace trov::front
