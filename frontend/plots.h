#pragma once

#include <string>

#include "frontend/results_table.h"

namespace trov::front {

// Draws the table's plot twice: on the screen (waits until the user dismisses the window), then into
// trov.wmf. M: the run had a covariate. Returns an empty text, or why the plot cannot be drawn
// (a label step of zero: all horizontal or all vertical values equal).
std::string plot_results(const ResultsTable& table, int M);

}  // namespace trov::front
