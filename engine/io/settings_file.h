#pragma once

#include <cstdint>

#include "common/list_reader.h"
#include "common/options_file.h"
#include "engine/core/settings.h"

namespace trov {

// The run trov.in describes: its settings and the columns of its data file.
struct Parameters {
  Settings settings;
  DataColumns columns;
};

// Reads lines 1-12 from the parameter file and applies the checks, warnings and conversions in their
// order. Refused settings end in the error stop; unreadable values end through the input layer.
Parameters read_settings(ListReader& parameters);

// The settings of trov.options in the working folder, taken into the run's settings (the criterion and
// the bootstrap's lambda and type) and checked with them (OCV needs a run without covariate, UBRE the
// binomial or Poisson model); the defaults when there is no such file.
// A file that cannot be read, or a fault in it, ends the run with a report on standard error and
// status 2.
Options read_options_file(Settings& settings, const DataColumns& columns);

}  // namespace trov
