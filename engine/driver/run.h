#pragma once

#include <istream>

namespace trov {

// The engine's main routine: settings from `parameters`, data, checks, grid, fitted values or the
// bootstrap, all written to trov.out in the working directory.
void run_engine(std::istream& parameters);

}  // namespace trov
