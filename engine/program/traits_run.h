#pragma once

#include <nlohmann/json.hpp>

#include "common/options_file.h"
#include "engine/core/settings.h"
#include "engine/io/traits_table.h"

namespace trov {

// The analysis of several traits that trov.options asks for, of its table, under the run's settings
// (its model, covariate kind and bootstrap; the lambdas by REML whatever the run's criterion and
// lambda), on every processor: trov.json's "traits" member. A refusal of the analysis ends the run
// as a fault of the table does (ErrorCode::traits_file), with the analysis's words.
nlohmann::ordered_json run_traits(const Options::Traits& asked, TraitsTable table, const Settings& settings);

}  // namespace trov
