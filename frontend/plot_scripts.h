#pragma once
// Two short scripts that draw a run's figure again from its plotted data (trov_plot.csv,
// trov_traits_plot.csv), for users who restyle: R with ggplot2, Python with matplotlib. Each reads the CSV
// named as itself (run1_plot.R reads run1_plot.csv) and writes a PDF beside it.
#include <string>

namespace trov::front {

// What the figure shows: the scores of a grid search, a fitted curve, the curves of an additive model of
// several traits side by side (trov_traits_plot.csv), or the surface of two traits.
enum class ScriptKind { grid, fitted, additive, surface };

struct ScriptFigure {
  ScriptKind kind = ScriptKind::fitted;
  std::string x_title, y_title;  // a surface: the two traits
  double width_mm = 85, height_mm = 68, font_pt = 8;
};

std::string r_script(const ScriptFigure& figure);
std::string python_script(const ScriptFigure& figure);

}  // namespace trov::front
