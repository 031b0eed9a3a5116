#pragma once

#include <string>
#include <vector>

#include "common/options_file.h"
#include "frontend/plot_notes.h"
#include "frontend/results_table.h"
#include "frontend/run_details.h"

namespace trov::front {

struct PlotOutcome {
  std::string not_drawn;      // why the plot cannot be drawn; empty when it was
  std::string figures_fault;  // why the figures are missing; empty when they were written
};

// Draws the table's plot on the screen (waits until the user dismisses the window) and into trov.wmf,
// with the notes of trov.json above the title, then writes the figures (frontend/figures.h). Where
// trov.json has them, the curve is the converged fit (the classic one dashed where it differs), the band
// that of the converged refits, and a grid shows the recommended criterion's scores and minimum.
// M: the run had a covariate; lambda_origin: how the fixed lambda was chosen, for the caption. A plot is not drawn when a label step is zero (all horizontal or all
// vertical values equal).
PlotOutcome plot_results(const ResultsTable& table, int M, const std::vector<PlotNote>& notes,
                         const RunDetails& run, const Options& options, const std::string& lambda_origin);

}  // namespace trov::front
