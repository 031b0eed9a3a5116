#pragma once

#include "engine/driver/results.h"
#include "engine/driver/run.h"

namespace trov {

// Parametric bootstrap at the run's fixed lambda: draws run.settings.iboot replicates from the fit to
// the observed data, refits each as in the grid, and writes the fit with a band of one standard error
// to the results file. The run must hold that fit (sy, snu, and with a covariate syc, nufit, beta).
void run_bootstrap(Run& run, ResultsFile& out);

}  // namespace trov
