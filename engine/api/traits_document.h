#pragma once

#include <nlohmann/json.hpp>

#include "engine/api/traits.h"

namespace trov::api {

// The "traits" member of trov.json: the analysis of several traits beside the cases it was given (each
// case's traits, y, n and fitted value), under the model it was made with. A value that is not finite
// (an SE without a bootstrap, a gradient that does not apply) is null. The README documents each field.
nlohmann::ordered_json traits_document(const TraitsData& data, const TraitsResults& results, Model model);

}  // namespace trov::api
