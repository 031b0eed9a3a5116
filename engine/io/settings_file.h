#pragma once

#include <cstdint>

#include "common/list_reader.h"
#include "common/options_file.h"
#include "engine/analysis/settings.h"

namespace trov {

// Reads lines 1-12 from the parameter file and applies the checks, warnings and conversions in their
// order. Refused settings end in the error stop; unreadable values end through the input layer.
Settings read_settings(ListReader& parameters);

// The settings of trov.options in the working folder, checked against the run's settings (OCV needs a
// run without covariate, UBRE the binomial or Poisson model); the defaults when there is no such file.
// A file that cannot be read, or a fault in it, ends the run with a report on standard error and
// status 2.
Options read_options_file(const Settings& settings);

}  // namespace trov
