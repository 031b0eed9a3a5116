#pragma once

#include <istream>

namespace trov {

// What a run writes besides trov.out and the console.
struct RunOptions {
  bool report = true;     // trov.json and the selection gradients
  bool converged = true;  // with the report, the converged fits beside the classic ones
  bool likelihood = true;  // with the converged fits, their REML and ML scores and searches
};

// The engine's main routine: settings from `parameters`, data, checks, grid, fitted values or the
// bootstrap, all written to trov.out (and trov.json) in the working directory.
void run_engine(std::istream& parameters, const RunOptions& options = {});

}  // namespace trov
