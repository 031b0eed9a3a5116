#pragma once
// The figures of an analysis of several traits (trov.json's "traits"), beside those of the one trait:
// the curves of an additive model side by side, or the contour map of a two-trait surface with the
// individuals and the peak; a caption, the plotted data and two scripts that draw them again.
#include <string>

#include "common/options_file.h"
#include "frontend/trait_details.h"
#include "plotlib/draw/figure_scene.h"

namespace trov::front {

// The figure laid out at the journal size and font trov.options chooses.
plotlib::figure::Scene trait_scene(const TraitRun& traits, const Options& options);

// Writes trov_traits.png, .svg and .pdf, trov_traits_caption.txt, trov_traits_plot.csv, trov_traits_plot.R
// and trov_traits_plot.py. Returns an empty text, or why they could not be written (then none is kept).
std::string write_trait_figures(const TraitRun& traits, const Options& options);

}  // namespace trov::front
