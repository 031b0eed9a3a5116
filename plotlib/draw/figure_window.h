#pragma once
// A laid-out figure shown on the screen in a plot window, as the files draw it.
#include <string>

#include "plotlib/draw/figure_scene.h"

namespace plotlib {

// Shows the scene scaled into a plot window placed and sized as the plot's (two thirds of the screen,
// in the lower right corner) until the user goes on; `what` names it in the window's title.
void show_figure(const figure::Scene& scene, const std::string& what);

}  // namespace plotlib
