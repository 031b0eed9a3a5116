#pragma once
// What the figures of one trait and of several share: their sizes, titles, numbers and files.
#include <string>

#include "common/options_file.h"
#include "frontend/plot_scripts.h"
#include "plotlib/draw/figure_scene.h"

namespace trov::front {

// A number as the format prints it ("%.2f").
std::string printed(const char* format, double v);

// The journal sizes trov.options' figure_size chooses, in millimetres; a figure of stacked panels is
// taller.
double figure_width_mm(FigureSize size);
double figure_height_mm(FigureSize size, int panels);

// The vertical axis's title of a fitted function: what Y is under the model.
std::string y_title_of(const std::string& model);

// A number of the plotted data's CSV: nine significant digits, NA where it is not finite.
std::string csv_number(double v);

// Writes the text as the whole file; false when it could not be written whole.
bool write_text(const std::string& name, const std::string& text);

// The texts written beside a figure.
struct FigureTexts {
  std::string caption, csv;
  ScriptFigure script;
};

// Writes `stem`.png, .svg and .pdf, `stem`_caption.txt, `stem`_plot.csv, `stem`_plot.R and `stem`_plot.py;
// where one cannot be written whole, none of them is kept. Whether all were written.
bool write_figure_files(const plotlib::figure::Scene& scene, const FigureTexts& texts,
                        const std::string& stem);

}  // namespace trov::front
