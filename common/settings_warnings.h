#pragma once
// The warnings of settings that the engine repairs before it runs (the run goes on), as its console
// writes them and trov.json's warnings carry them (kind "Warning"). Their text is what tells them apart;
// the engine (engine/io/messages.cpp) and the front end's advice take it from here.
#include <string_view>

namespace trov::settings_warning {

inline constexpr std::string_view nstep_below_one = "Warning: number of lambdas (nstep) must be at least 1";
inline constexpr std::string_view lmin_not_below_lmax = "Warning: lmin must be smaller than lmax";
inline constexpr std::string_view bootstrap_needs_fixed_lambda =
    "Warning: bootstrap available only for fixed lambda";

}  // namespace trov::settings_warning
