#pragma once
// What a run's trov.json adds to its plot: a grid's minima with their markers, the run and its
// selection gradients at a fixed lambda, and the warnings a user has to act on.
#include <optional>
#include <string>
#include <vector>

#include "frontend/run_report.h"

namespace trov::front {

// A point of the plot marked with a symbol, in axis values.
struct PlotMarker {
  int symbol = 0;  // number of the drawing layer's symbol
  float x = 0.0f, y = 0.0f;
};

// One line of text above the plot's title. A line about a marked point carries the marker, whose
// symbol stands before the text as its key.
struct PlotNote {
  std::string text;
  std::optional<PlotMarker> marker;
};

struct PlotNotes {
  std::vector<PlotNote> lines;   // from the top down
  std::string suggested_lambda;  // a grid's recommended ln(lambda) (else its GCV minimum) as the
                                 // fixed-lambda field shows it; empty: none
};

// The notes of the run whose results `report` holds. A missing or unreadable file, or one of a run that
// stopped on an error, gives none: the plot is drawn without them.
PlotNotes plot_notes(const RunReport& report);
PlotNotes read_plot_notes(const std::string& path);

// An ln(lambda) as a dialog field shows it: at most 10 characters, no trailing zeros ("4", "-2.5").
std::string lambda_field_text(double lnlambda);

// The recommended ln(lambda) as the field shows it: two decimals ("1.86", "-10.00").
std::string recommended_field_text(double lnlambda);

}  // namespace trov::front
