#pragma once

#include <istream>

#include "engine/analysis/analysis.h"

namespace trov {

// The engine program's main routine: settings from `parameters` (and trov.options), the data file,
// the analysis, and its results written to trov.out, trov.json and the console in the working
// directory. A fault or a file it cannot use ends it with a ProgramStop (engine/io/messages.h).
void run_engine(std::istream& parameters, const RunOptions& options = {});

// The run, and how the program ends: 0 when it reached its results; after a fault its message and the
// error stop (1); after a file it cannot use its report on standard error (2); after a failure of the
// engine itself (an exception) its report (3). The one place that turns an ending into words and a
// status.
int run_program(std::istream& parameters, const RunOptions& options = {});

}  // namespace trov
