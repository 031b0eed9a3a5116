#pragma once
// Plots drawn as the front end draws them, for the device checks.
#include <string_view>

namespace trov::test {

// GCV (solid) and OCV (dashed) scores against ln(lambda).
void sample_grid_plot(std::string_view device, std::string_view file = {});

// A fitted curve with its long-dashed band and the data points as symbols, at `points` trait values.
void sample_fitted_plot(std::string_view device, std::string_view file = {}, int points = 25);

}  // namespace trov::test
