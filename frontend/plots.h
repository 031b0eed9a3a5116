#pragma once

#include <string>
#include <vector>

#include "frontend/plot_notes.h"
#include "frontend/results_table.h"

namespace trov::front {

struct PlotOutcome {
  std::string not_drawn;      // why the plot cannot be drawn; empty when it was
  std::string figures_fault;  // why the figures are missing; empty when they were written
};

// Draws the table's plot three times: on the screen (waits until the user dismisses the window), into
// trov.wmf, and as the figures trov.png, trov.svg and trov.pdf; the notes of trov.json above the title.
// M: the run had a covariate. A plot is not drawn when a label step is zero (all horizontal or all
// vertical values equal).
PlotOutcome plot_results(const ResultsTable& table, int M, const std::vector<PlotNote>& notes);

}  // namespace trov::front
