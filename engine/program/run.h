#pragma once

#include <istream>

#include "engine/analysis/analysis.h"

namespace trov {

// The engine program's main routine: settings from `parameters` (and trov.options), the data file,
// the analysis, and its results written to trov.out, trov.json and the console in the working
// directory. Faults end here, in the error stop or with status 2.
void run_engine(std::istream& parameters, const RunOptions& options = {});

}  // namespace trov
